#ifndef TAVRIN_QT_UPDATE_NETWORKBROWSER_H
#define TAVRIN_QT_UPDATE_NETWORKBROWSER_H

#include "qt/update/BrowserControl.h"
#include "update/UpdateUrl.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

class ContentDecoder;
class HttpResponseReader;
class QTcpSocket;

// The request channel over HTTP/1.1: one GET at a time, on the calling
// thread's event loop, over a TCP socket of its own (TLS for https, checked
// against the system's CA store, the host name sent for SNI).
//
// Redirects are followed (at most MaxRedirects, never from https to http, only
// to http or https), the system's proxy settings apply, and the whole fetch
// must end within the transfer timeout. The answer is read by
// HttpResponseReader within its limits; at most MaxAnswerBytes of it are
// accepted, counted again after decompression, and a larger one ends the
// fetch as a failure at once. So does a body cut short or one that fails to
// decompress. For every fetch that gets a complete final HTTP answer,
// pageLoaded comes first (at most MaxShownChars of text), then
// requestSucceeded or requestFailed as UpdateOutcome judges the answer: an
// HTTP 200 that refuses the update in words is a failure too. Busy() is
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

    // Trusts these certificate authorities instead of the system's; for tests.
    void setCaCertificates(const QList<QSslCertificate> &authorities);

private:
    // Connects for one URL of the fetch: the first or a redirect's target.
    void startHop(const UpdateUrl::RequestUrl &url);
    void sendRequest();
    void readAnswer();
    void onSocketError(QAbstractSocket::SocketError error);
    // Follows the answer's own state after the reader took bytes or the end.
    void advance();
    // True when the head asked for a redirect that was taken (or refused).
    bool followRedirect();
    void finishAnswer();
    void onDeadline();
    // Hangs up at once without a report: stops the deadline, drops the socket.
    void dropConnection();
    void failFetch(int httpStatus, const QString &reason);

    QTcpSocket *m_socket = nullptr;
    std::unique_ptr<HttpResponseReader> m_reader;
    std::unique_ptr<ContentDecoder> m_decoder;
    bool m_headSeen = false;
    QByteArray m_request;
    QByteArray m_body; // decoded
    QTimer m_deadline;
    QString m_target;                // scheme://host[:port] of the first URL, for the log
    std::vector<std::string> m_urls; // every URL of the fetch as sent, the current one last
    int m_timeoutMs = DefaultTransferTimeoutMs;
    bool m_theaterMode = false;
    QList<QSslCertificate> m_authorities;
};

#endif
