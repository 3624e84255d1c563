#include "qt/update/NetworkBrowser.h"

#include "qt/CoreTypes.h"
#include "qt/update/ContentDecoder.h"
#include "qt/update/UpdateLog.h"
#include "update/HttpAnswer.h"
#include "update/HttpRequestText.h"
#include "update/HttpResponseReader.h"
#include "update/UpdateOutcome.h"

#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QUrl>

#include <cctype>
#include <optional>
#include <utility>

namespace {

// The socket buffers no more than this before we read it, so a fast server
// cannot fill memory between two readyRead signals, and one readyRead never
// handles more than this.
constexpr qint64 ReadBufferBytes = 256 * 1024;
constexpr qint64 ReadPieceBytes = 16 * 1024;

bool isWebScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// Our own wording, never the socket's errorString(): it may name more than
// the host.
QString socketReason(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("connection closed by the server");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("host not found");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("connection timed out");
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return QStringLiteral("secure connection failed");
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::TemporaryError:
        return QStringLiteral("network unavailable");
    case QAbstractSocket::ProxyAuthenticationRequiredError:
    case QAbstractSocket::ProxyConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionClosedError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
    case QAbstractSocket::ProxyNotFoundError:
    case QAbstractSocket::ProxyProtocolError:
        return QStringLiteral("proxy error");
    default:
        return QStringLiteral("network error %1").arg(int(error));
    }
}

// The first proxy of the system's configuration a socket can use; direct
// when there is none.
QNetworkProxy proxyFor(const QUrl &url)
{
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    for (const QNetworkProxy &proxy : proxies) {
        switch (proxy.type()) {
        case QNetworkProxy::NoProxy:
        case QNetworkProxy::HttpProxy:
        case QNetworkProxy::Socks5Proxy:
            return proxy;
        case QNetworkProxy::HttpCachingProxy: {
            QNetworkProxy http = proxy;
            http.setType(QNetworkProxy::HttpProxy);
            return http;
        }
        default:
            break;
        }
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

QString decodeAnswer(const QByteArray &body, const QByteArray &contentType, bool isHtml)
{
    const QByteArray charset = QByteArray::fromStdString(HttpAnswer::charset(
        std::string_view(contentType.constData(), std::size_t(contentType.size()))));
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    if (isHtml) {
        // Honours a <meta charset> in the page; falls back to UTF-8.
        QStringDecoder decoder = QStringDecoder::decoderForHtml(body);
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

QString shownText(QString text)
{
    if (text.size() > NetworkBrowser::MaxShownChars) {
        qsizetype length = NetworkBrowser::MaxShownChars;
        if (text.at(length - 1).isHighSurrogate())
            --length;
        text.truncate(length);
    }
    return text;
}

QString secondsText(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3);
}

} // namespace

NetworkBrowser::NetworkBrowser(QObject *parent) : BrowserControl(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &NetworkBrowser::onDeadline);
}

NetworkBrowser::~NetworkBrowser()
{
    dropConnection();
}

void NetworkBrowser::Navigate(const QString &url)
{
    if (Busy())
        qCInfo(lcUpdate).noquote() << "request to" << m_target << "abandoned for a new one";
    dropConnection();

    // Neither refusal quotes the text: it holds the key.
    if (url.isEmpty()) {
        qCInfo(lcUpdate) << "no update URL set; nothing requested";
        return;
    }
    const std::optional<UpdateUrl::RequestUrl> requestUrl = UpdateUrl::toRequestUrl(toStd(url));
    if (!requestUrl) {
        qCWarning(lcUpdate) << "update URL refused: not an http or https URL with a host";
        return;
    }

    m_target = toQt(UpdateUrl::redacted(requestUrl));
    m_urls = {requestUrl->url};
    qCInfo(lcUpdate).noquote() << "request to" << m_target;
    m_deadline.start(m_timeoutMs);
    startHop(*requestUrl);
}

void NetworkBrowser::Stop()
{
    if (!Busy())
        return;
    qCInfo(lcUpdate).noquote() << "request to" << m_target << "stopped";
    dropConnection();
}

bool NetworkBrowser::Busy() const
{
    return m_socket != nullptr;
}

void NetworkBrowser::setTheaterMode(bool on)
{
    m_theaterMode = on;
}

bool NetworkBrowser::TheaterMode() const
{
    return m_theaterMode;
}

void NetworkBrowser::setTransferTimeout(int ms)
{
    m_timeoutMs = qMax(1, ms);
}

int NetworkBrowser::transferTimeout() const
{
    return m_timeoutMs;
}

void NetworkBrowser::setCaCertificates(const QList<QSslCertificate> &authorities)
{
    m_authorities = authorities;
}

void NetworkBrowser::startHop(const UpdateUrl::RequestUrl &url)
{
    const bool secure = url.scheme == "https";
    const QNetworkProxy proxy = proxyFor(QUrl(toQt(url.url)));
    // Plain http through an HTTP proxy asks the proxy for the whole URL; https
    // goes through it in a CONNECT tunnel, which the socket sets up itself.
    const bool toHttpProxy = !secure && proxy.type() == QNetworkProxy::HttpProxy;

    const HttpRequestText::Target target{url.scheme, url.host, url.port, url.target};
    // A proxy's own credentials, as the proxy configuration gives them.
    std::string proxyAuthorization;
    if (toHttpProxy && !proxy.user().isEmpty())
        proxyAuthorization =
            "Basic " +
            (proxy.user() + QLatin1Char(':') + proxy.password()).toUtf8().toBase64().toStdString();
    m_request = QByteArray::fromStdString(
        HttpRequestText::get(target, toHttpProxy, HttpRequestText::UserAgent, proxyAuthorization));
    if (m_request.isEmpty()) {
        failFetch(0, QStringLiteral("update URL not fit to send"));
        return;
    }

    m_reader = std::make_unique<HttpResponseReader>(std::size_t(MaxAnswerBytes));
    m_decoder.reset();
    m_headSeen = false;
    m_body.clear();

    QSslSocket *tls = secure ? new QSslSocket(this) : nullptr;
    QTcpSocket *socket = tls ? tls : new QTcpSocket(this);
    m_socket = socket;
    socket->setReadBufferSize(ReadBufferBytes);
    socket->setProxy(toHttpProxy ? QNetworkProxy(QNetworkProxy::NoProxy) : proxy);
    connect(socket, &QTcpSocket::readyRead, this, &NetworkBrowser::readAnswer);
    connect(socket, &QTcpSocket::errorOccurred, this, &NetworkBrowser::onSocketError);

    QString host = toQt(url.host);
    quint16 port = quint16(url.port >= 0 ? url.port : secure ? 443 : 80);
    if (toHttpProxy) {
        host = proxy.hostName();
        port = proxy.port();
    }
    if (tls) {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!m_authorities.isEmpty())
            config.setCaCertificates(m_authorities);
        tls->setSslConfiguration(config);
        connect(tls, &QSslSocket::encrypted, this, &NetworkBrowser::sendRequest);
    } else {
        connect(socket, &QTcpSocket::connected, this, &NetworkBrowser::sendRequest);
    }
    // Connected from the event loop: a socket may fail within connectToHost,
    // and an outcome must never arrive before Navigate has returned.
    QMetaObject::invokeMethod(
        socket,
        [socket, tls, host, port] {
            if (tls)
                tls->connectToHostEncrypted(host, port, host); // the host name goes out for SNI
            else
                socket->connectToHost(host, port);
        },
        Qt::QueuedConnection);
}

void NetworkBrowser::sendRequest()
{
    if (m_socket)
        m_socket->write(m_request);
}

void NetworkBrowser::readAnswer()
{
    QTcpSocket *const socket = m_socket;
    if (!socket)
        return;
    // At most the socket's buffer, which ReadBufferBytes bounds.
    char piece[ReadPieceBytes];
    while (m_socket == socket && m_reader->state() == HttpResponseReader::State::NeedMore) {
        const qint64 got = socket->read(piece, sizeof piece);
        if (got <= 0)
            break;
        m_reader->feed(std::string_view(piece, std::size_t(got)));
        advance();
    }
}

void NetworkBrowser::onSocketError(QAbstractSocket::SocketError error)
{
    if (!m_socket)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError && m_reader) {
        // Whatever came before the close is part of the answer.
        QTcpSocket *const socket = m_socket;
        readAnswer();
        if (m_socket != socket || m_reader->state() != HttpResponseReader::State::NeedMore)
            return;
        m_reader->finish();
        advance();
        return;
    }
    failFetch(0, socketReason(error));
}

void NetworkBrowser::advance()
{
    HttpResponseReader &reader = *m_reader;
    if (reader.state() == HttpResponseReader::State::Failed) {
        failFetch(0, QString::fromStdString(reader.failureText()));
        return;
    }
    if (!reader.headComplete())
        return;
    if (!m_headSeen) {
        m_headSeen = true;
        if (followRedirect())
            return;
        const ContentDecoder::Coding coding =
            ContentDecoder::codingFor(QByteArray::fromStdString(reader.field("Content-Encoding")));
        if (coding == ContentDecoder::Coding::Unsupported) {
            failFetch(0, QStringLiteral("compressed answer in an unsupported coding"));
            return;
        }
        m_decoder = std::make_unique<ContentDecoder>(coding, MaxAnswerBytes);
    }
    switch (m_decoder->decode(QByteArray::fromStdString(reader.takeBody()), m_body)) {
    case ContentDecoder::Result::Ok:
        break;
    case ContentDecoder::Result::TooLarge:
        failFetch(0, QStringLiteral("answer too large: over %1 MiB unpacked")
                         .arg(MaxAnswerBytes / (1024 * 1024)));
        return;
    case ContentDecoder::Result::Damaged:
        failFetch(0, QStringLiteral("compressed answer damaged"));
        return;
    }
    if (reader.state() != HttpResponseReader::State::Complete)
        return;
    if (m_decoder->finish() != ContentDecoder::Result::Ok) {
        failFetch(0, QStringLiteral("compressed answer damaged"));
        return;
    }
    finishAnswer();
}

bool NetworkBrowser::followRedirect()
{
    const int status = m_reader->status();
    const std::string location = m_reader->field("Location");
    if (!HttpAnswer::isRedirect(status) || location.empty())
        return false;
    const QUrl from(toQt(m_urls.back()));
    const QUrl resolved = from.resolved(QUrl(toQt(location), QUrl::TolerantMode));
    if (!resolved.isValid() || !isWebScheme(resolved.scheme())) {
        failFetch(0, QStringLiteral("unsupported protocol"));
        return true;
    }
    // The resolved URL goes on the wire by the same rules as the first one.
    const std::optional<UpdateUrl::RequestUrl> to =
        UpdateUrl::toRequestUrl(resolved.toString(QUrl::FullyEncoded).toStdString());
    if (resolved.host().isEmpty() || !to) {
        failFetch(0, QStringLiteral("invalid redirect"));
        return true;
    }
    if (from.scheme() == QLatin1String("https") && to->scheme == "http") {
        failFetch(0, QStringLiteral("redirect to a less secure URL refused"));
        return true;
    }
    if (m_urls.size() > std::size_t(MaxRedirects)) {
        failFetch(0, QStringLiteral("too many redirects"));
        return true;
    }
    qCInfo(lcUpdate).noquote() << "redirected to" << toQt(UpdateUrl::redacted(to));
    m_urls.push_back(to->url);
    // The old connection goes now; the deadline runs on for the whole fetch.
    QTcpSocket *old = std::exchange(m_socket, nullptr);
    old->disconnect(this);
    old->abort();
    old->deleteLater();
    startHop(*to);
    return true;
}

void NetworkBrowser::finishAnswer()
{
    const int status = m_reader->status();
    const QByteArray contentType = QByteArray::fromStdString(m_reader->field("Content-Type"));
    const QByteArray body = std::exchange(m_body, QByteArray());
    const std::vector<std::string> urls = m_urls; // the answer's word is checked against every one
    dropConnection();

    const UpdateOutcome outcome = UpdateOutcome::classify(status, body.toStdString());
    const bool isHtml = HttpAnswer::isHtml(
        std::string_view(contentType.constData(), std::size_t(contentType.size())),
        std::string_view(body.constData(), std::size_t(body.size())));
    const QPointer<NetworkBrowser> self(this);
    Q_EMIT pageLoaded(shownText(decodeAnswer(body, contentType, isHtml)), isHtml);
    if (!self)
        return;

    if (!outcome.succeeded()) {
        qCWarning(lcUpdate).noquote()
            << "request to" << m_target << "failed:" << toQt(outcome.describe(urls));
        Q_EMIT requestFailed(status, toQt(outcome.failureReason(urls)));
        return;
    }
    qCInfo(lcUpdate).noquote() << "request to" << m_target
                               << "succeeded:" << toQt(outcome.describe(urls));
    Q_EMIT requestSucceeded(status);
}

void NetworkBrowser::onDeadline()
{
    if (!Busy())
        return;
    failFetch(0, QStringLiteral("no answer within %1 s").arg(secondsText(m_timeoutMs)));
}

void NetworkBrowser::dropConnection()
{
    m_deadline.stop();
    m_body.clear();
    m_decoder.reset();
    if (QTcpSocket *socket = std::exchange(m_socket, nullptr)) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void NetworkBrowser::failFetch(int httpStatus, const QString &reason)
{
    dropConnection();
    qCWarning(lcUpdate).noquote() << "request to" << m_target << "failed:" << reason;
    Q_EMIT requestFailed(httpStatus, reason);
}
