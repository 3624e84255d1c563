#include "win32/settings/RegistrySettingsStore.h"

#include "base/CoreLog.h"
#include "win32/WideText.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace {

const wchar_t *const kSettingsRoot = L"Software\\VB and VBA Program Settings\\";
const char *const kFallbackApplication = "tavrin-connector";
// A value that changes size on every query is given up on after this many tries.
const int kQueryAttempts = 16;

using KeyHandle = std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)>;

// Strict: text that is not UTF-8 gives false.
bool toWide(const std::string &text, std::wstring &wide)
{
    std::optional<std::wstring> converted = WideText::fromUtf8Strict(text);
    wide = converted.value_or(std::wstring());
    return converted.has_value();
}

// False for a broken surrogate pair, which no UTF-8 can hold.
bool surrogatesPaired(const std::wstring &text)
{
    return text.empty() || WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                               int(text.size()), nullptr, 0, nullptr, nullptr) > 0;
}

// The system's text for an error code, with its number.
std::string errorText(LSTATUS code)
{
    const std::string number = "error " + std::to_string(code);
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr)
        return number;
    std::wstring message(buffer, length);
    LocalFree(buffer);
    message.erase(message.find_last_not_of(L"\r\n .") + 1);
    if (message.empty() || !surrogatesPaired(message))
        return number;
    return WideText::toUtf8(message) + " (" + number + ")";
}

void logWarning(const std::string &text)
{
    CoreLog::write(CoreLog::Area::Settings, CoreLog::Level::Warning, text);
}

} // namespace

RegistrySettingsStore::RegistrySettingsStore(const std::string &applicationName)
{
    std::wstring name;
    if (applicationName.empty() || !toWide(applicationName, name)) {
        logWarning("The application name \"" + applicationName +
                   "\" is no usable settings key; using \"" + kFallbackApplication + "\"");
        toWide(kFallbackApplication, name);
    }
    m_applicationKey = kSettingsRoot + name;
}

std::wstring RegistrySettingsStore::keyPath(const std::string &section) const
{
    std::wstring wideSection;
    if (section.empty() || !toWide(section, wideSection))
        return m_applicationKey;
    return m_applicationKey + L'\\' + wideSection;
}

std::string RegistrySettingsStore::where(const std::string &section, const std::string &name) const
{
    return "\"" + name + "\" in HKEY_CURRENT_USER\\" + WideText::toUtf8(keyPath(section));
}

RegistrySettingsStore::Found RegistrySettingsStore::lookUp(const std::wstring &key,
                                                           const std::wstring &name) const
{
    Found found;
    const auto bad = [&found](const std::string &problem) {
        found.state = State::Bad;
        found.problem = problem;
        return found;
    };

    HKEY opened = nullptr;
    LSTATUS rc = RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &opened);
    if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND)
        return found;
    if (rc != ERROR_SUCCESS)
        return bad("cannot be read: " + errorText(rc));
    const KeyHandle handle(opened, &RegCloseKey);

    // The value may change between two queries: every answer's type and size
    // are checked again, and a value that grew is asked for once more.
    DWORD type = REG_NONE;
    DWORD size = 0;
    rc = RegQueryValueExW(opened, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data;
    for (int attempt = 0;; ++attempt) {
        if (rc == ERROR_FILE_NOT_FOUND)
            return found;
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
            return bad("cannot be read: " + errorText(rc));
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return bad("is not text (registry type " + std::to_string(type) + ")");
        if (size > MaxValueBytes)
            return bad("is larger than " + std::to_string(MaxValueBytes) + " bytes");
        if (rc == ERROR_SUCCESS && !data.empty())
            break;
        if (attempt == kQueryAttempts)
            return bad("kept changing while it was read");
        // Never a null buffer: that would only ask for the size again.
        data.assign(std::max<DWORD>(size, sizeof(wchar_t)), 0);
        size = static_cast<DWORD>(data.size());
        rc = RegQueryValueExW(opened, name.c_str(), nullptr, &type, data.data(), &size);
    }
    if (size % sizeof(wchar_t) != 0)
        return bad("is no UTF-16 text (odd byte count " + std::to_string(size) + ")");

    std::wstring text(size / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), size);
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    if (!surrogatesPaired(text))
        return bad("is no UTF-16 text (broken surrogate pair)");
    found.state = State::Text;
    found.text = WideText::toUtf8(text);
    return found;
}

std::string RegistrySettingsStore::read(const std::string &section, const std::string &name,
                                        const std::string &defaultValue) const
{
    const Slot slot{section, name};
    std::wstring wideName;
    const Found found = toWide(name, wideName)
                            ? lookUp(keyPath(section), wideName)
                            : Found{State::Bad, "", "has a name that is not UTF-8"};
    if (found.state != State::Bad) {
        m_badValues.erase(slot);
        return found.state == State::Text ? found.text : defaultValue;
    }
    // One line per bad value, not one per read.
    const auto known = m_badValues.find(slot);
    if (known == m_badValues.end() || known->second.problem != found.problem ||
        known->second.defaultValue != defaultValue) {
        logWarning("Settings value " + where(section, name) + " " + found.problem +
                   "; the default is used");
        m_badValues[slot] = BadValue{found.problem, defaultValue, false};
    }
    return defaultValue;
}

bool RegistrySettingsStore::save(const std::string &section, const std::string &name,
                                 const std::string &value)
{
    const std::string place = where(section, name);
    const auto fail = [&place](const std::string &why) {
        logWarning("Cannot save settings value " + place + ": " + why);
        return false;
    };
    std::wstring wideSection;
    std::wstring wideName;
    std::wstring wideValue;
    if (!toWide(section, wideSection) || !toWide(name, wideName))
        return fail("its name is not UTF-8");
    if (!toWide(value, wideValue))
        return fail("the text is not UTF-8");
    // With its terminating NUL, as every reader expects.
    const std::size_t bytes = (wideValue.size() + 1) * sizeof(wchar_t);
    if (bytes > MaxValueBytes)
        return fail("the text is larger than " + std::to_string(MaxValueBytes) + " bytes");
    const std::wstring key = keyPath(section);

    const Slot slot{section, name};
    const auto known = m_badValues.find(slot);
    if (known != m_badValues.end() && known->second.defaultValue == value) {
        // Only the default read() gave back: the stored value stays for the
        // user to repair, as long as it is still unusable.
        const Found found = lookUp(key, wideName);
        if (found.state == State::Bad) {
            if (!known->second.keepReported) {
                logWarning("Settings value " + place + " is left as it is: it " + found.problem);
                known->second.keepReported = true;
            }
            return true;
        }
    }

    HKEY created = nullptr;
    LSTATUS rc =
        RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &created, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(created, wideName.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE *>(wideValue.c_str()), DWORD(bytes));
        RegCloseKey(created);
    }
    if (rc != ERROR_SUCCESS)
        return fail(errorText(rc));
    m_badValues.erase(slot);
    return true;
}
