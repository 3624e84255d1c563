#ifndef TAVRIN_QT_UPDATE_HTTPREQUESTCHANNEL_H
#define TAVRIN_QT_UPDATE_HTTPREQUESTCHANNEL_H

#include "update/HttpFetch.h"
#include "update/RequestChannel.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QTimer>

class QTcpSocket;

// The request channel over a TCP socket of its own, on the calling thread's
// event loop: TLS for https, checked against the system's CA store, the host
// name sent for SNI; the proxy from no_proxy and the system's settings. It
// carries HttpFetch's bytes; the fetch judges them. The outcome comes from the
// event loop, never within navigate(), and busy() is already false then.
class HttpRequestChannel : public QObject, public RequestChannel
{
    Q_OBJECT
public:
    explicit HttpRequestChannel(QObject *parent = nullptr);
    ~HttpRequestChannel() override;

    void navigate(const std::string &url) override;
    void stop() override;
    bool busy() const override { return m_fetch.busy(); }
    void setTheaterMode(bool) override {}
    void setFinishedHandler(FinishedHandler handler) override { m_finished = std::move(handler); }

    // Applies from the next navigate() on. Values below 1 ms are taken as 1 ms.
    void setTransferTimeout(int ms) { m_fetch.setDeadlineMs(ms); }
    // Trusts these certificate authorities instead of the system's; for tests.
    void setCaCertificates(const QList<QSslCertificate> &authorities);

private:
    // Connects for the fetch's current URL: the first or a redirect's target.
    void connectHop();
    void readAnswer();
    void onSocketError(QAbstractSocket::SocketError error);
    void follow(HttpFetch::Step step);
    // Hangs up at once without a report.
    void dropConnection(bool keepDeadline = false);

    HttpFetch m_fetch;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_request;
    QTimer m_deadline;
    FinishedHandler m_finished;
    QList<QSslCertificate> m_authorities;
};

#endif
