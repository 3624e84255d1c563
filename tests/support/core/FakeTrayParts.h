#ifndef TAVRIN_TESTS_CORE_FAKETRAYPARTS_H
#define TAVRIN_TESTS_CORE_FAKETRAYPARTS_H

#include "tray/TrayIconRecord.h"
#include "tray/TrayShell.h"
#include "tray/TrayWindow.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A notification area that records each message with the record's bytes.
class RecordingTrayShellCore : public TrayShell
{
public:
    struct Call
    {
        TrayMessage message;
        TrayIconRecord::Bytes bytes;
    };

    void notify(TrayMessage message, const TrayIconRecord &record) override
    {
        calls.push_back({message, record.toBytes()});
    }
    bool hostAvailable() const override { return available; }
    void showNotification(const std::string &title, const std::string &text,
                          NotificationIcon icon) override
    {
        notifications.push_back({title, text});
        icons.push_back(icon);
    }
    void click(int mouseMessage) const { reportMouseMessage(mouseMessage); }
    // A tray appears or goes away.
    void setAvailable(bool now)
    {
        available = now;
        reportHostAvailability(now);
    }

    std::vector<TrayMessage> messages() const
    {
        std::vector<TrayMessage> result;
        for (const Call &call : calls)
            result.push_back(call.message);
        return result;
    }

    std::vector<Call> calls;
    // Title and text of each notification.
    std::vector<std::pair<std::string, std::string>> notifications;
    std::vector<NotificationIcon> icons;
    bool available = true;
};

// A window with settable handles.
class FakeTrayWindow : public TrayWindow
{
public:
    std::uint32_t trayWindowHandle() const override { return handle; }
    std::uint32_t trayIconHandle() const override { return picture; }

    std::uint32_t handle = 0x00010203;
    std::uint32_t picture = 7;
};

#endif
