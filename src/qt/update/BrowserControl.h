#ifndef TAVRIN_QT_UPDATE_BROWSERCONTROL_H
#define TAVRIN_QT_UPDATE_BROWSERCONTROL_H

#include <QObject>
#include <QString>

// The request channel the window talks to: it fetches an update URL in the
// background and says how each request ended. The window relies on these four
// members only; the answer's text is offered for display.
class BrowserControl : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~BrowserControl() override = default;

    // Abandons any fetch still in progress, starts a GET of url and returns at once.
    virtual void Navigate(const QString &url) = 0;
    // Abandons any fetch in progress; an abandoned fetch reports no outcome.
    virtual void Stop() = 0;
    // True while a fetch is in progress.
    virtual bool Busy() const = 0;
    // Kept for the window's start-up; it changes nothing in how requests are made.
    virtual void setTheaterMode(bool on) = 0;
    virtual bool TheaterMode() const = 0;

Q_SIGNALS:
    // A fetch ended with an HTTP status below 400 (after redirects) and an answer
    // that is not a refusal of the update service.
    void requestSucceeded(int httpStatus);
    // A fetch ended in a transport error, a timeout, an HTTP status of 400 or above,
    // or an answer whose first word is a refusal (badauth, nohost, ...). reason is
    // fit for the log and the user: it never holds the URL's path.
    void requestFailed(int httpStatus, const QString &reason);
    // The answer of a finished fetch, for the display area. isHtml tells how to show it.
    void pageLoaded(const QString &text, bool isHtml);
};

#endif
