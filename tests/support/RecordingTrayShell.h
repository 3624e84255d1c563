#ifndef TAVRIN_TESTS_RECORDINGTRAYSHELL_H
#define TAVRIN_TESTS_RECORDINGTRAYSHELL_H

#include "tray/TrayShell.h"

#include <QList>

// A tray shell that records each message with its record and tracks whether an
// icon would be shown.
class RecordingTrayShell : public TrayShell
{
public:
    void notify(TrayMessage message, const TrayIconRecord &record) override
    {
        messages.append(message);
        records.append(record);
        if (message == TrayMessage::Add)
            shown = true;
        else if (message == TrayMessage::Delete)
            shown = false;
    }
    bool hostAvailable() const override { return available; }

    // Simulates mouse activity on the icon.
    void activate(int mouseMessageNumber) { reportMouseMessage(mouseMessageNumber); }

    QList<TrayMessage> messages;
    QList<TrayIconRecord> records;
    bool shown = false;
    bool available = true;
};

#endif
