#ifndef TAVRIN_QT_UPDATE_BROWSERREQUESTCHANNEL_H
#define TAVRIN_QT_UPDATE_BROWSERREQUESTCHANNEL_H

#include "update/RequestChannel.h"

#include <QMetaObject>

class BrowserControl;

// The engine's request channel over a BrowserControl: its calls go to the
// browser, the browser's outcome signals come back as RequestOutcome.
class BrowserRequestChannel : public RequestChannel
{
public:
    // browser must outlive the channel.
    explicit BrowserRequestChannel(BrowserControl &browser);
    ~BrowserRequestChannel() override;
    BrowserRequestChannel(const BrowserRequestChannel &) = delete;
    BrowserRequestChannel &operator=(const BrowserRequestChannel &) = delete;

    void navigate(const std::string &url) override;
    void stop() override;
    bool busy() const override;
    void setTheaterMode(bool on) override;
    void setFinishedHandler(FinishedHandler handler) override;

private:
    void finished(const RequestOutcome &outcome) const;

    BrowserControl &m_browser;
    FinishedHandler m_handler;
    QMetaObject::Connection m_succeeded;
    QMetaObject::Connection m_failed;
};

#endif
