#include "win32/tray/ShellTrayIcon.h"

#include "update/CoreLog.h"
#include "win32/WideText.h"

#include <algorithm>
#include <cstring>

namespace {
template <std::size_t N> void copyText(wchar_t (&field)[N], const std::string &text)
{
    const std::wstring wide = WideText::fromUtf8(text);
    const std::size_t length = std::min(wide.size(), N - 1);
    std::copy_n(wide.data(), length, field);
    field[length] = L'\0';
}
} // namespace

NOTIFYICONDATAA ShellTrayIcon::platformRecord(const TrayIconRecord &record)
{
    NOTIFYICONDATAA data{};
    data.cbSize = RecordSize;
    data.hWnd = HWND(std::uintptr_t(record.hWnd));
    data.uID = record.uID;
    data.uFlags = record.uFlags;
    data.uCallbackMessage = record.uCallbackMessage != 0 ? CallbackMessage : 0;
    data.hIcon = HICON(std::uintptr_t(record.hIcon));
    // The tip field as the record holds it: the text, its NUL, then blanks.
    std::memcpy(data.szTip, record.szTip.data(),
                std::min(record.szTip.size(), std::size_t(TrayIconRecord::TipSize)));
    data.szTip[TrayIconRecord::TipSize - 1] = '\0';
    return data;
}

ShellTrayIcon::NotifyFunction ShellTrayIcon::notifyFunction()
{
    if (!m_lookedUp) {
        m_lookedUp = true;
        if (HMODULE shell = LoadLibraryW(L"shell32.dll"))
            m_notify = reinterpret_cast<NotifyFunction>(
                reinterpret_cast<void *>(GetProcAddress(shell, "Shell_NotifyIconA")));
        if (!m_notify)
            CoreLog::write(CoreLog::Area::Tray, CoreLog::Level::Warning,
                           "Shell_NotifyIconA not found in shell32.dll; no tray icon");
    }
    return m_notify;
}

void ShellTrayIcon::notify(TrayMessage message, const TrayIconRecord &record)
{
    m_last = record;
    if (message == TrayMessage::Add)
        m_shown = true;
    else if (message == TrayMessage::Delete)
        m_shown = false;
    NotifyFunction function = notifyFunction();
    if (!function)
        return;
    NOTIFYICONDATAA data = platformRecord(record);
    // The answer is not needed: a modify or delete without an icon changes nothing.
    function(DWORD(message), &data);
}

void ShellTrayIcon::shellRestarted()
{
    if (!m_shown)
        return;
    CoreLog::write(CoreLog::Area::Tray, CoreLog::Level::Info,
                   "notification area restarted; adding the icon again");
    notify(TrayMessage::Add, m_last);
}

void ShellTrayIcon::showNotification(const std::string &title, const std::string &text)
{
    if (!m_shown)
        return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = HWND(std::uintptr_t(m_last.hWnd));
    data.uID = m_last.uID;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_INFO;
    copyText(data.szInfoTitle, title);
    copyText(data.szInfo, text);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}
