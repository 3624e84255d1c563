#include "win32/app/RunKeyEntry.h"

#include "win32/WideText.h"

#include <windows.h>

const wchar_t RunKeyEntry::RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t RunKeyEntry::ApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

RunKeyEntry::RunKeyEntry(const std::string &programName, const std::wstring &exePath)
    : m_name(WideText::fromUtf8(programName)), m_exePath(exePath)
{
}

LoginEntryPlace::State RunKeyEntry::state() const
{
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, ApprovedKey, m_name.c_str(), RRF_RT_REG_BINARY, nullptr,
                     nullptr, &size) == ERROR_SUCCESS &&
        size > 0) {
        std::string bytes(size, '\0');
        if (RegGetValueW(HKEY_CURRENT_USER, ApprovedKey, m_name.c_str(), RRF_RT_REG_BINARY, nullptr,
                         bytes.data(), &size) == ERROR_SUCCESS &&
            StartAtLogin::startupApprovedSwitchedOff(bytes.substr(0, size)))
            return State::SwitchedOff;
    }
    const LSTATUS run = RegGetValueW(HKEY_CURRENT_USER, RunKey, m_name.c_str(),
                                     RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr, nullptr);
    // Anything but a plain "not there" leaves the value alone.
    return run == ERROR_FILE_NOT_FOUND ? State::Missing : State::Present;
}

bool RunKeyEntry::create(std::string &reason)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, RunKey, 0, nullptr, 0,
                                     KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        // One that appeared since state() stays.
        status = RegQueryValueExW(key, m_name.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            status = ERROR_ALREADY_EXISTS;
        } else if (status == ERROR_FILE_NOT_FOUND) {
            const std::wstring data = command();
            status = RegSetValueExW(key, m_name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE *>(data.c_str()),
                                    DWORD((data.size() + 1) * sizeof(wchar_t)));
        }
        RegCloseKey(key);
    }
    if (status == ERROR_SUCCESS)
        return true;
    reason = "registry error " + std::to_string(status);
    return false;
}

std::string RunKeyEntry::where() const
{
    return "HKEY_CURRENT_USER\\" + WideText::toUtf8(RunKey) + "\\" + WideText::toUtf8(m_name);
}
