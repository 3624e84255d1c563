#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Per connection: bytes not yet parsed, and whether a request waits for its answer.
const char BufferProperty[] = "loopbackBuffer";
const char PendingProperty[] = "loopbackPending";

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

QByteArray LoopbackHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return QByteArray();
}

bool LoopbackHttpServer::Request::hasHeader(const QByteArray &name) const
{
    return !header(name).isNull();
}

LoopbackHttpServer::LoopbackHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::acceptConnections);
}

bool LoopbackHttpServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

quint16 LoopbackHttpServer::port() const
{
    return m_server.serverPort();
}

QString LoopbackHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void LoopbackHttpServer::setAnswer(const QByteArray &target, const Answer &answer)
{
    m_answers.insert(target, answer);
}

void LoopbackHttpServer::setDefaultAnswer(const Answer &answer)
{
    m_defaultAnswer = answer;
}

LoopbackHttpServer::Answer LoopbackHttpServer::ok(const QByteArray &body,
                                                  const QByteArray &contentType)
{
    Answer answer;
    answer.body = body;
    if (!contentType.isEmpty())
        answer.headers.append({"Content-Type", contentType});
    return answer;
}

LoopbackHttpServer::Answer LoopbackHttpServer::redirect(const QByteArray &location, int status)
{
    Answer answer;
    answer.status = status;
    answer.headers.append({"Location", location});
    return answer;
}

void LoopbackHttpServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket->property(PendingProperty).toBool()) {
                socket->setProperty(PendingProperty, false);
                ++m_hangUps;
                Q_EMIT clientHungUp();
            }
            socket->deleteLater();
        });
    }
}

void LoopbackHttpServer::readFrom(QTcpSocket *socket)
{
    QByteArray buffer = socket->property(BufferProperty).toByteArray() + socket->readAll();
    // One request per connection: every answer closes it.
    if (socket->property(PendingProperty).toBool()) {
        socket->setProperty(BufferProperty, buffer);
        return;
    }
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty(BufferProperty, buffer);
        return;
    }

    Request request;
    request.raw = buffer.left(end + 4);
    socket->setProperty(BufferProperty, buffer.mid(end + 4));
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    request.version = requestLine.value(2);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    m_requests.append(request);
    socket->setProperty(PendingProperty, true);
    Q_EMIT requestReceived(request);

    const Answer answer = answerFor(request.target);
    if (answer.closeWithoutAnswer) {
        socket->setProperty(PendingProperty, false);
        socket->disconnectFromHost();
        return;
    }
    if (answer.neverAnswer)
        return;
    if (answer.delayMs <= 0) {
        respond(socket, answer);
        return;
    }
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(answer.delayMs, this, [this, guarded, answer] {
        if (guarded && guarded->state() == QAbstractSocket::ConnectedState)
            respond(guarded, answer);
    });
}

void LoopbackHttpServer::respond(QTcpSocket *socket, const Answer &answer)
{
    if (!socket->property(PendingProperty).toBool())
        return;
    socket->setProperty(PendingProperty, false);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                      reasonPhrase(answer.status) + "\r\n";
    for (const auto &header : answer.headers)
        head += header.first + ": " + header.second + "\r\n";
    if (!answer.omitContentLength)
        head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    socket->write(answer.body);
    socket->disconnectFromHost();
}

LoopbackHttpServer::Answer LoopbackHttpServer::answerFor(const QByteArray &target) const
{
    const auto exact = m_answers.constFind(target);
    if (exact != m_answers.constEnd())
        return exact.value();
    const qsizetype query = target.indexOf('?');
    if (query >= 0) {
        const auto byPath = m_answers.constFind(target.left(query));
        if (byPath != m_answers.constEnd())
            return byPath.value();
    }
    return m_defaultAnswer;
}
