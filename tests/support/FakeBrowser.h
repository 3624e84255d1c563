#ifndef TAVRIN_TESTS_FAKEBROWSER_H
#define TAVRIN_TESTS_FAKEBROWSER_H

#include "qt/update/BrowserControl.h"

#include <QStringList>

#include <functional>

// A request channel that records calls; a test finishes requests itself.
class FakeBrowser : public BrowserControl
{
    Q_OBJECT
public:
    using BrowserControl::BrowserControl;

    void Navigate(const QString &url) override
    {
        calls.append(QStringLiteral("Navigate ") + url);
        navigated.append(url);
        busy = !url.isEmpty();
        if (onNavigate)
            onNavigate(url);
    }
    void Stop() override
    {
        calls.append(QStringLiteral("Stop"));
        busy = false;
    }
    bool Busy() const override { return busy; }
    void setTheaterMode(bool on) override { theater = on; }
    bool TheaterMode() const override { return theater; }

    void succeed(int status = 200)
    {
        busy = false;
        Q_EMIT requestSucceeded(status);
    }
    void fail(int status = 500)
    {
        busy = false;
        Q_EMIT requestFailed(status, QStringLiteral("HTTP error"));
    }

    std::function<void(const QString &)> onNavigate;
    QStringList calls;
    QStringList navigated;
    bool busy = false;
    bool theater = false;
};

#endif
