#ifndef TAVRIN_WIN32_TRAY_SHELLTRAYICON_H
#define TAVRIN_WIN32_TRAY_SHELLTRAYICON_H

#include "tray/TrayShell.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>

// The tray icon through the shell's notification area: each record goes to
// Shell_NotifyIconA. The icon's mouse messages reach the window the record
// names; the window passes them on. Balloon messages use the wide function, so
// German texts show whole.
class ShellTrayIcon : public TrayShell
{
public:
    using NotifyFunction = BOOL(WINAPI *)(DWORD message, NOTIFYICONDATAA *data);

    ShellTrayIcon() = default;
    // Records go to the given function instead of the shell's — for tests.
    explicit ShellTrayIcon(NotifyFunction notify) : m_notify(notify) {}

    // The record's first form in a 64-bit process (NOTIFYICONDATAA_V1_SIZE).
    static constexpr DWORD RecordSize = 104;
    // The message the icon's activity reaches the window with. The record keeps
    // its own value (a mouse move), but a real mouse move over the window must
    // never be taken for the icon, so the shell is given a number of its own.
    static constexpr UINT CallbackMessage = WM_APP + 2;

    void notify(TrayMessage message, const TrayIconRecord &record) override;
    void showNotification(const std::string &title, const std::string &text,
                          NotificationIcon icon) override;

    // Explorer started again with an empty notification area: the icon, if it
    // was there, is added again.
    void shellRestarted();
    bool iconShown() const { return m_shown; }
    // The platform record a TrayIconRecord becomes.
    static NOTIFYICONDATAA platformRecord(const TrayIconRecord &record);

private:
    NotifyFunction m_notify = &Shell_NotifyIconA;
    bool m_shown = false;
    TrayIconRecord m_last;
};

#endif
