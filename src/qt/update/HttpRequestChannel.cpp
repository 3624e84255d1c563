#include "qt/update/HttpRequestChannel.h"

#include "qt/CoreTypes.h"
#include "update/NoProxy.h"

#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QUrl>

#include <utility>

namespace {

using Failure = RequestOutcome::Failure;

// The socket buffers no more than this before we read it, so a fast server
// cannot fill memory between two readyRead signals, and one readyRead never
// handles more than this.
constexpr qint64 ReadBufferBytes = 256 * 1024;
constexpr qint64 ReadPieceBytes = 16 * 1024;

Failure socketFailure(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return Failure::ConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError:
        return Failure::ConnectionClosed;
    case QAbstractSocket::HostNotFoundError:
        return Failure::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return Failure::ConnectionTimedOut;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return Failure::SecureConnectionFailed;
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::TemporaryError:
        return Failure::NetworkUnavailable;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
    case QAbstractSocket::ProxyConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionClosedError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
    case QAbstractSocket::ProxyNotFoundError:
    case QAbstractSocket::ProxyProtocolError:
        return Failure::ProxyError;
    default:
        return Failure::NetworkError;
    }
}

// no_proxy first, as curl and wget read it; then the first proxy of the
// system's configuration a socket can use; direct when there is none.
QNetworkProxy proxyFor(const UpdateUrl::RequestUrl &url, int port)
{
    if (NoProxy::exempts(toStd(qEnvironmentVariable(
                             qEnvironmentVariableIsSet("no_proxy") ? "no_proxy" : "NO_PROXY")),
                         url.host, port))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(toQt(url.url))));
    for (QNetworkProxy proxy : proxies) {
        if (proxy.type() == QNetworkProxy::HttpCachingProxy)
            proxy.setType(QNetworkProxy::HttpProxy);
        if (proxy.type() == QNetworkProxy::NoProxy || proxy.type() == QNetworkProxy::HttpProxy ||
            proxy.type() == QNetworkProxy::Socks5Proxy)
            return proxy;
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

} // namespace

HttpRequestChannel::HttpRequestChannel(QObject *parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { follow(m_fetch.timedOut()); });
}

HttpRequestChannel::~HttpRequestChannel()
{
    dropConnection();
}

void HttpRequestChannel::navigate(const std::string &url)
{
    dropConnection();
    if (!m_fetch.start(url))
        return;
    m_deadline.start(m_fetch.deadlineMs());
    connectHop();
}

void HttpRequestChannel::stop()
{
    m_fetch.stop();
    dropConnection();
}

void HttpRequestChannel::setCaCertificates(const QList<QSslCertificate> &authorities)
{
    m_authorities = authorities;
}

void HttpRequestChannel::connectHop()
{
    const UpdateUrl::RequestUrl &url = m_fetch.url();
    const bool secure = url.scheme == "https";
    const QNetworkProxy proxy = proxyFor(url, m_fetch.port());
    // Plain http through an HTTP proxy asks the proxy for the whole URL; https
    // goes through it in a CONNECT tunnel, which the socket sets up itself.
    const bool toHttpProxy = !secure && proxy.type() == QNetworkProxy::HttpProxy;
    const QString credentials = proxy.user() + QLatin1Char(':') + proxy.password();
    m_request = QByteArray::fromStdString(
        m_fetch.request(toHttpProxy, toHttpProxy && !proxy.user().isEmpty()
                                         ? "Basic " + credentials.toUtf8().toBase64().toStdString()
                                         : std::string()));

    QSslSocket *tls = secure ? new QSslSocket(this) : nullptr;
    QTcpSocket *socket = tls ? tls : new QTcpSocket(this);
    m_socket = socket;
    socket->setReadBufferSize(ReadBufferBytes);
    socket->setProxy(toHttpProxy ? QNetworkProxy(QNetworkProxy::NoProxy) : proxy);
    connect(socket, &QTcpSocket::readyRead, this, &HttpRequestChannel::readAnswer);
    connect(socket, &QTcpSocket::errorOccurred, this, &HttpRequestChannel::onSocketError);
    const auto send = [this] { m_socket->write(m_request); };
    if (!tls) {
        connect(socket, &QTcpSocket::connected, this, send);
    } else {
        connect(tls, &QSslSocket::encrypted, this, send);
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!m_authorities.isEmpty())
            config.setCaCertificates(m_authorities);
        tls->setSslConfiguration(config);
    }
    const QString host = toHttpProxy ? proxy.hostName() : toQt(url.host);
    const quint16 port = toHttpProxy ? proxy.port() : quint16(m_fetch.port());
    // From the event loop: an outcome must never arrive before navigate() returned.
    QMetaObject::invokeMethod(
        socket,
        [this, socket, tls, host, port] {
            if (m_request.isEmpty())
                follow(m_fetch.fail(Failure::UrlNotFit));
            else if (tls)
                tls->connectToHostEncrypted(host, port, host); // the host name goes out for SNI
            else
                socket->connectToHost(host, port);
        },
        Qt::QueuedConnection);
}

void HttpRequestChannel::readAnswer()
{
    QTcpSocket *const socket = m_socket;
    // At most the socket's buffer, which ReadBufferBytes bounds.
    char piece[ReadPieceBytes];
    while (socket && m_socket == socket) {
        const qint64 got = socket->read(piece, sizeof piece);
        if (got <= 0)
            break;
        follow(m_fetch.feed(std::string_view(piece, std::size_t(got))));
    }
}

void HttpRequestChannel::onSocketError(QAbstractSocket::SocketError error)
{
    QTcpSocket *const socket = m_socket;
    if (error != QAbstractSocket::RemoteHostClosedError)
        return follow(m_fetch.fail(socketFailure(error), long(error)));
    // Whatever came before the close is part of the answer.
    readAnswer();
    if (m_socket == socket)
        follow(m_fetch.closed());
}

void HttpRequestChannel::follow(HttpFetch::Step step)
{
    if (step == HttpFetch::Step::More)
        return;
    // The old connection goes; on a redirect the deadline runs on for the whole fetch.
    const bool redirected = step == HttpFetch::Step::Redirected;
    dropConnection(redirected);
    if (redirected)
        return connectHop();
    if (m_finished)
        m_finished(m_fetch.outcome());
}

void HttpRequestChannel::dropConnection(bool keepDeadline)
{
    if (!keepDeadline)
        m_deadline.stop();
    if (QTcpSocket *socket = std::exchange(m_socket, nullptr)) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}
