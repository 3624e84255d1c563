#ifndef TAVRIN_TRAY_TRAYSHELL_H
#define TAVRIN_TRAY_TRAYSHELL_H

#include "tray/TrayIconRecord.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

// What the tray operations hand the notification area: one message and the full record.
enum class TrayMessage : std::uint32_t
{
    Add = 0,
    Modify = 1,
    Delete = 2,
};

// The sign a notification carries.
enum class NotificationIcon
{
    Information,
    Warning,
};

// The notification area as the tray operations see it. Nothing is returned:
// the callers rely only on the icon appearing, changing and vanishing, and on a
// modify or delete without an icon being harmless and silent.
class TrayShell
{
public:
    // Mouse activity on the icon, as the number of the mouse message that occurred
    // (see MouseMessage; the window acts on a right press and a left double-click).
    using MouseHandler = std::function<void(int mouseMessage)>;
    // A notification area appeared (true) or went away (false).
    using HostHandler = std::function<void(bool available)>;

    virtual ~TrayShell() = default;

    virtual void notify(TrayMessage message, const TrayIconRecord &record) = 0;

    // A short message at the icon (UTF-8), shown only while the icon is; none by
    // default. A click on it is reported as MouseMessage::NotificationClick.
    virtual void showNotification(const std::string &title, const std::string &text,
                                  NotificationIcon icon)
    {
        static_cast<void>(title), static_cast<void>(text), static_cast<void>(icon);
    }

    // Whether a notification area exists to hold the icon at all.
    virtual bool hostAvailable() const { return true; }

    void setMouseHandler(MouseHandler handler) { m_mouseHandler = std::move(handler); }
    void setHostHandler(HostHandler handler) { m_hostHandler = std::move(handler); }

protected:
    void reportMouseMessage(int number) const
    {
        if (m_mouseHandler)
            m_mouseHandler(number);
    }
    void reportHostAvailability(bool available) const
    {
        if (m_hostHandler)
            m_hostHandler(available);
    }

private:
    MouseHandler m_mouseHandler;
    HostHandler m_hostHandler;
};

#endif
