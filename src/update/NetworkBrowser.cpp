#include "update/NetworkBrowser.h"

#include "update/UpdateLog.h"
#include "update/UpdateOutcome.h"
#include "update/UpdateUrl.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

#include <cctype>
#include <utility>

namespace {

const char UserAgent[] = "TavrinConnector/0.1.0";

// The reply buffers no more than this before we read it, so a fast server
// cannot fill memory between two readyRead signals.
constexpr qint64 ReadBufferBytes = 256 * 1024;

// True when the reply carries a whole HTTP answer: QNetworkReply also reports an
// HTTP status of 400 or above as an error, and only those codes leave the
// answer intact. Any other error means the transfer broke off.
bool answerComplete(QNetworkReply::NetworkError error, int httpStatus)
{
    if (httpStatus <= 0)
        return false;
    if (error == QNetworkReply::NoError)
        return true;
    if (httpStatus < 400)
        return false;
    switch (error) {
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    case QNetworkReply::ContentReSendError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

// Our own wording: QNetworkReply::errorString() quotes the whole URL, key included.
// httpStatus is that of the answer's head, 0 when none came.
QString transportReason(QNetworkReply::NetworkError error, int httpStatus)
{
    // With the head in, these errors concern the body.
    if (httpStatus > 0) {
        if (error == QNetworkReply::RemoteHostClosedError)
            return QStringLiteral("answer cut short: connection closed by the server");
        if (error == QNetworkReply::UnknownContentError && httpStatus < 400)
            return QStringLiteral("compressed answer damaged or over %1 MiB unpacked")
                .arg(NetworkBrowser::MaxAnswerBytes / (1024 * 1024));
    }
    switch (error) {
    case QNetworkReply::NoError:
        return QStringLiteral("no HTTP answer");
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("connection closed by the server");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("host not found");
    case QNetworkReply::TimeoutError:
        return QStringLiteral("connection timed out");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("secure connection failed");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("network unavailable");
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownProxyError:
        return QStringLiteral("proxy error");
    case QNetworkReply::TooManyRedirectsError:
        return QStringLiteral("too many redirects");
    case QNetworkReply::InsecureRedirectError:
        return QStringLiteral("redirect to a less secure URL refused");
    case QNetworkReply::ProtocolUnknownError:
        return QStringLiteral("unsupported protocol");
    case QNetworkReply::ProtocolFailure:
        return QStringLiteral("invalid answer from the server");
    default:
        return QStringLiteral("network error %1").arg(int(error));
    }
}

QByteArray mimeType(const QByteArray &contentType)
{
    const int semicolon = contentType.indexOf(';');
    return (semicolon < 0 ? contentType : contentType.left(semicolon)).trimmed().toLower();
}

QByteArray charsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts.at(i).trimmed();
        if (part.toLower().startsWith("charset=")) {
            QByteArray value = part.mid(8).trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return QByteArray();
}

bool looksLikeHtml(const QByteArray &contentType, const QByteArray &body)
{
    const QByteArray mime = mimeType(contentType);
    if (mime == "text/html" || mime == "application/xhtml+xml")
        return true;
    qsizetype start = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < body.size() && std::isspace(static_cast<unsigned char>(body.at(start))))
        ++start;
    const QByteArray head = body.mid(start, 9).toLower();
    return head.startsWith("<html") || head.startsWith("<!doctype");
}

QString decodeAnswer(const QByteArray &body, const QByteArray &contentType, bool isHtml)
{
    const QByteArray charset = charsetOf(contentType);
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

NetworkBrowser::NetworkBrowser(QObject *parent)
    : BrowserControl(parent), m_manager(new QNetworkAccessManager(this))
{
    // Requests go the way the system's proxy configuration (the proxy
    // environment variables or the desktop's settings) says.
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &NetworkBrowser::onDeadline);
}

NetworkBrowser::~NetworkBrowser()
{
    abandonReply();
}

void NetworkBrowser::Navigate(const QString &url)
{
    if (m_reply)
        qCInfo(lcUpdate).noquote() << "request to" << m_target << "abandoned for a new one";
    abandonReply();

    // Neither refusal quotes the text: it holds the key.
    if (url.isEmpty()) {
        qCInfo(lcUpdate) << "no update URL set; nothing requested";
        return;
    }
    const QUrl requestUrl = UpdateUrl::toRequestUrl(url);
    if (!requestUrl.isValid()) {
        qCWarning(lcUpdate) << "update URL refused: not an http or https URL with a host";
        return;
    }

    QNetworkRequest request(requestUrl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    // Every sync must reach the server, not a cache on the way.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(UserAgent));
    // A compressed answer that unpacks past our limit at a bomb's ratio fails
    // in Qt as soon as it gets there (see onError).
    request.setDecompressedSafetyCheckThreshold(MaxAnswerBytes);

    m_target = UpdateUrl::redacted(requestUrl);
    m_requestUrl = requestUrl;
    m_body.clear();
    qCInfo(lcUpdate).noquote() << "request to" << m_target;

    QNetworkReply *reply = m_manager->get(request);
    m_reply = reply;
    reply->setReadBufferSize(ReadBufferBytes);
    connect(reply, &QNetworkReply::readyRead, this, &NetworkBrowser::readAnswer);
    connect(reply, &QNetworkReply::finished, this, &NetworkBrowser::onFinished);
    connect(reply, &QNetworkReply::errorOccurred, this, &NetworkBrowser::onError);
    connect(reply, &QNetworkReply::redirected, this, [](const QUrl &to) {
        qCInfo(lcUpdate).noquote() << "redirected to" << UpdateUrl::redacted(to);
    });
    m_deadline.start(m_timeoutMs);
}

void NetworkBrowser::Stop()
{
    if (!m_reply)
        return;
    qCInfo(lcUpdate).noquote() << "request to" << m_target << "stopped";
    abandonReply();
}

bool NetworkBrowser::Busy() const
{
    return !m_reply.isNull();
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

void NetworkBrowser::readAnswer()
{
    if (!m_reply)
        return;
    // A declared length over the limit ends the fetch before anything is read.
    const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toLongLong() > MaxAnswerBytes) {
        failTooLarge();
        return;
    }
    m_body += m_reply->readAll();
    if (m_body.size() > MaxAnswerBytes)
        failTooLarge();
}

void NetworkBrowser::onFinished()
{
    readAnswer(); // whatever arrived after the last readyRead
    if (!m_reply)
        return;

    QNetworkReply *reply = takeReply();
    reply->deleteLater();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    if (!answerComplete(error, status)) {
        reportFailure(0, transportReason(error, status));
        return;
    }

    const QByteArray contentType = reply->rawHeader("Content-Type");
    const QByteArray body = std::exchange(m_body, QByteArray());
    const UpdateOutcome outcome = UpdateOutcome::classify(status, body);
    // The answer's word is checked against every URL of the fetch: a redirect may carry the key.
    const QList<QUrl> urls = {m_requestUrl, reply->url()};
    // Qt takes an interim answer (101 to 199, not 100) for the final one and
    // leaves the real answer unread: there is no page to show.
    if (outcome.interim()) {
        reportFailure(status, outcome.failureReason(urls));
        return;
    }
    const bool isHtml = looksLikeHtml(contentType, body);
    const QPointer<NetworkBrowser> self(this);
    Q_EMIT pageLoaded(shownText(decodeAnswer(body, contentType, isHtml)), isHtml);
    if (!self)
        return;

    if (!outcome.succeeded()) {
        reportFailure(status, outcome.failureReason(urls), outcome.describe(urls));
        return;
    }
    qCInfo(lcUpdate).noquote() << "request to" << m_target
                               << "succeeded:" << outcome.describe(urls);
    Q_EMIT requestSucceeded(status);
}

void NetworkBrowser::onError(QNetworkReply::NetworkError error)
{
    if (!m_reply)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An HTTP error status comes with its whole answer; finished follows.
    if (answerComplete(error, status))
        return;
    // Every other error ends the fetch here: after a failed decompression Qt
    // never sends finished, and the fetch would wait for its deadline. The
    // reply has already given up, so it is let go without another abort.
    m_body.clear();
    takeReply()->deleteLater();
    reportFailure(0, transportReason(error, status));
}

void NetworkBrowser::onDeadline()
{
    if (!m_reply)
        return;
    abandonReply();
    reportFailure(0, QStringLiteral("no answer within %1 s").arg(secondsText(m_timeoutMs)));
}

void NetworkBrowser::failTooLarge()
{
    abandonReply();
    reportFailure(0, QStringLiteral("answer too large"));
}

QNetworkReply *NetworkBrowser::takeReply()
{
    m_deadline.stop();
    QNetworkReply *reply = m_reply.data();
    m_reply.clear();
    if (reply)
        reply->disconnect(this);
    return reply;
}

void NetworkBrowser::abandonReply()
{
    m_body.clear();
    if (QNetworkReply *reply = takeReply()) {
        reply->abort();
        reply->deleteLater();
    }
}

void NetworkBrowser::reportFailure(int httpStatus, const QString &reason, const QString &logDetail)
{
    qCWarning(lcUpdate).noquote() << "request to" << m_target
                                  << "failed:" << (logDetail.isEmpty() ? reason : logDetail);
    Q_EMIT requestFailed(httpStatus, reason);
}
