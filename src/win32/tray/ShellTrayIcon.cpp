#include "win32/tray/ShellTrayIcon.h"

#include "base/CoreLog.h"
#include "win32/WideText.h"

#include <algorithm>
#include <cstring>

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

void ShellTrayIcon::notify(TrayMessage message, const TrayIconRecord &record)
{
    m_last = record;
    if (message == TrayMessage::Add)
        m_shown = true;
    else if (message == TrayMessage::Delete)
        m_shown = false;
    NOTIFYICONDATAA data = platformRecord(record);
    // The answer is not needed: a modify or delete without an icon changes nothing.
    m_notify(DWORD(message), &data);
}

void ShellTrayIcon::shellRestarted()
{
    if (!m_shown)
        return;
    CoreLog::write(CoreLog::Area::Tray, CoreLog::Level::Info,
                   "notification area restarted; adding the icon again");
    notify(TrayMessage::Add, m_last);
}

void ShellTrayIcon::showNotification(const std::string &title, const std::string &text,
                                     NotificationIcon icon)
{
    if (!m_shown)
        return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = HWND(std::uintptr_t(m_last.hWnd));
    data.uID = m_last.uID;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = icon == NotificationIcon::Warning ? NIIF_WARNING : NIIF_INFO;
    // Longer texts are cut to the fields.
    lstrcpynW(data.szInfoTitle, WideText::fromUtf8(title).c_str(), ARRAYSIZE(data.szInfoTitle));
    lstrcpynW(data.szInfo, WideText::fromUtf8(text).c_str(), ARRAYSIZE(data.szInfo));
    Shell_NotifyIconW(NIM_MODIFY, &data);
}
