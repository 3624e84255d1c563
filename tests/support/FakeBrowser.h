#ifndef TAVRIN_TESTS_FAKEBROWSER_H
#define TAVRIN_TESTS_FAKEBROWSER_H

#include "update/RequestChannel.h"

#include <QString>
#include <QStringList>

#include <functional>

// A request channel that records calls; a test finishes requests itself.
class FakeBrowser : public RequestChannel
{
public:
    void navigate(const std::string &url) override
    {
        calls.append(QStringLiteral("Navigate ") + QString::fromStdString(url));
        navigated.append(QString::fromStdString(url));
        inFlight = !url.empty();
        if (onNavigate)
            onNavigate(navigated.last());
    }
    void stop() override
    {
        calls.append(QStringLiteral("Stop"));
        inFlight = false;
    }
    bool busy() const override { return inFlight; }
    void setTheaterMode(bool on) override { theater = on; }
    void setFinishedHandler(FinishedHandler handler) override { m_handler = std::move(handler); }

    void succeed(int status = 200) { finish({RequestOutcome::Failure::None, status}); }
    void fail(int status = 500) { finish({RequestOutcome::Failure::HttpStatus, status}); }
    void finish(const RequestOutcome &outcome)
    {
        inFlight = false;
        if (m_handler)
            m_handler(outcome);
    }

    std::function<void(const QString &)> onNavigate;
    QStringList calls;
    QStringList navigated;
    bool inFlight = false;
    bool theater = false;

private:
    FinishedHandler m_handler;
};

#endif
