#include "win32/app/SingleInstance.h"

#include "base/CoreLog.h"
#include "win32/WideText.h"

#include <cstdint>

namespace {

// Kernel object names may be up to MAX_PATH units, window class names 256:
// longer application names keep their start and a hash of the whole name.
const size_t kMaxNameUnits = 200;
const size_t kKeptUnits = 180;
const DWORD kPollMs = 50;

void appendHex(std::wstring &out, uint64_t value, int digits)
{
    static const wchar_t hex[] = L"0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += hex[(value >> shift) & 0xF];
}

// The application name as a piece of an object name: lower case, with '\' (the
// namespace separator), '_' (the escape) and control characters as "_xxxx".
std::wstring safeName(const std::string &applicationName)
{
    std::wstring name = WideText::fromUtf8(applicationName);
    if (!name.empty())
        CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
    std::wstring safe;
    for (const wchar_t unit : name) {
        if (unit == L'\\' || unit == L'_' || unit < 0x20) {
            safe += L'_';
            appendHex(safe, unit, 4);
        } else {
            safe += unit;
        }
    }
    if (safe.size() <= kMaxNameUnits)
        return safe;
    // FNV-1a over the whole name, so long names that share a start differ.
    uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : safe) {
        hash ^= static_cast<uint16_t>(unit);
        hash *= 1099511628211ull;
    }
    safe.resize(kKeptUnits);
    safe += L'_';
    appendHex(safe, hash, 16);
    return safe;
}

void log(CoreLog::Level level, const std::string &text)
{
    CoreLog::write(CoreLog::Area::App, level, text);
}

} // namespace

SingleInstance::SingleInstance(const std::string &applicationName)
    : m_applicationName(applicationName)
{
}

SingleInstance::~SingleInstance()
{
    if (m_mutex)
        CloseHandle(m_mutex);
}

std::wstring SingleInstance::mutexName(const std::string &applicationName)
{
    return L"Local\\TavrinConnector.Instance." + safeName(applicationName);
}

std::wstring SingleInstance::windowClassName(const std::string &applicationName)
{
    return L"TavrinConnector.Window." + safeName(applicationName);
}

UINT SingleInstance::showRequestMessage()
{
    static const UINT message = RegisterWindowMessageW(L"TavrinConnector.ShowRequest");
    return message;
}

SingleInstance::Outcome SingleInstance::claim(DWORD waitMs)
{
    if (m_primary)
        return Outcome::Primary;
    const std::wstring name = mutexName(m_applicationName);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // Better two programs than none: run, and say why the check failed.
        log(CoreLog::Level::Warning, "Cannot tell whether " + m_applicationName +
                                         " is running already (error " + std::to_string(error) +
                                         "); starting anyway");
    } else if (error == ERROR_ALREADY_EXISTS) {
        // Another start holds the name; this one keeps no hold on it, so a start
        // after the other one ends is the first again.
        CloseHandle(mutex);
        return handOver(waitMs);
    }
    m_mutex = mutex;
    m_primary = true;
    return Outcome::Primary;
}

SingleInstance::Outcome SingleInstance::handOver(DWORD waitMs)
{
    const std::wstring windowClass = windowClassName(m_applicationName);
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    HWND window;
    // The other start may not have made its window yet.
    while (!(window = FindWindowW(windowClass.c_str(), nullptr)) && GetTickCount64() < deadline)
        Sleep(kPollMs);
    if (window == nullptr) {
        log(CoreLog::Level::Warning,
            m_applicationName + " is running already but showed no window within " +
                std::to_string(waitMs) +
                " ms (it is starting or not responding); not starting another");
        return Outcome::NoWindow;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // Only a process with the foreground right can pass it on; without it the
    // window just shows, so a failure here is no reason to stop.
    if (process != 0)
        AllowSetForegroundWindow(process);
    if (!PostMessageW(window, showRequestMessage(), 0, 0)) {
        log(CoreLog::Level::Warning, m_applicationName +
                                         " is running already but could not be asked to show "
                                         "its window (error " +
                                         std::to_string(GetLastError()) +
                                         "); not starting another");
        return Outcome::NoWindow;
    }
    log(CoreLog::Level::Info,
        m_applicationName + " is running already; it was asked to show its window");
    return Outcome::HandedOver;
}
