#ifndef TAVRIN_UPDATE_NETWORKBROWSER_H
#define TAVRIN_UPDATE_NETWORKBROWSER_H

#include "update/BrowserControl.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;

// The request channel over HTTP: one GET at a time, in the background.
//
// Redirects are followed (at most MaxRedirects, never from https to http), the
// system's proxy settings apply, and the whole fetch must end within the
// transfer timeout. At most MaxAnswerBytes of the answer are accepted, counted
// after decompression; a larger one ends the fetch as a failure at once. So
// does a body cut short or one that fails to decompress. For every fetch that
// gets a complete final HTTP answer, pageLoaded comes first (at most
// MaxShownChars of text), then requestSucceeded or requestFailed as
// UpdateOutcome judges the answer: an HTTP 200 that refuses the update in
// words is a failure too, and so is an interim (1xx) status. Busy() is
// already false when they arrive. Each outcome is one line in the log, with
// the HTTP status and the answer's first word where that is safe to show.
class NetworkBrowser : public BrowserControl
{
    Q_OBJECT
public:
    static constexpr int DefaultTransferTimeoutMs = 30 * 1000;
    static constexpr int MaxRedirects = 10;
    static constexpr qint64 MaxAnswerBytes = 1024 * 1024;
    static constexpr int MaxShownChars = 64 * 1024;

    explicit NetworkBrowser(QObject *parent = nullptr);
    ~NetworkBrowser() override;

    void Navigate(const QString &url) override;
    void Stop() override;
    bool Busy() const override;
    void setTheaterMode(bool on) override;
    bool TheaterMode() const override;

    // Applies from the next Navigate on. Values below 1 ms are taken as 1 ms.
    void setTransferTimeout(int ms);
    int transferTimeout() const;

private:
    void readAnswer();
    void onFinished();
    void onError(QNetworkReply::NetworkError error);
    void onDeadline();
    void failTooLarge();
    // Disconnects the reply before aborting it, so an abandoned fetch never reports.
    // Detaches the reply in flight (if any) from this browser and its deadline.
    QNetworkReply *takeReply();
    void abandonReply();
    // logDetail replaces reason in the log line where given.
    void reportFailure(int httpStatus, const QString &reason, const QString &logDetail = {});

    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    QByteArray m_body;
    QString m_target; // scheme://host[:port] of the current fetch, for the log
    QUrl m_requestUrl;
    int m_timeoutMs = DefaultTransferTimeoutMs;
    bool m_theaterMode = false;
};

#endif
