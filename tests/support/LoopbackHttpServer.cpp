#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {

using Then = FaultAnswers::Then;

// Most bytes a streamed answer keeps queued before the client takes more.
constexpr qint64 StreamQueueBytes = 64 * 1024;

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

FaultAnswers::Reply replyOf(const LoopbackHttpServer::Answer &answer)
{
    FaultAnswers::Reply reply;
    if (answer.closeWithoutAnswer)
        return reply;
    if (answer.neverAnswer) {
        reply.then = Then::Silence;
        return reply;
    }
    reply.bytes = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                  reasonPhrase(answer.status) + "\r\n";
    for (const auto &header : answer.headers)
        reply.bytes += header.first + ": " + header.second + "\r\n";
    if (!answer.omitContentLength)
        reply.bytes += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    reply.bytes += "Connection: close\r\n\r\n" + answer.body;
    return reply;
}

// head: the request line and headers, up to and with the blank line.
LoopbackHttpServer::Request parseRequest(const QByteArray &head)
{
    LoopbackHttpServer::Request request;
    request.raw = head;
    const QList<QByteArray> lines = head.chopped(4).split('\n');
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
    return request;
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
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    for (auto &entry : m_connections) {
        entry.first->disconnect(this);
        entry.first->abort();
        delete entry.first;
    }
}

bool LoopbackHttpServer::listen()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        return false;
    m_port = m_server.serverPort();
    m_clock.start();
    return true;
}

QString LoopbackHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
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

void LoopbackHttpServer::setCycle(const QList<Fault> &cycle, int refusedWindowMs)
{
    m_cycle = cycle;
    m_cycleNext = 0;
    m_refusedWindowMs = refusedWindowMs;
}

void LoopbackHttpServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        Connection &connection = m_connections[socket];
        connection.socket = socket;
        m_peakConnections = qMax(m_peakConnections, int(m_connections.size()));

        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (Connection *c = find(socket))
                readRequest(*c);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (Connection *c = find(socket))
                writeMoreStream(*c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            Connection *c = find(socket);
            if (!c || c->closed)
                return;
            c->closed = true;
            if (c->requestRead && !c->answerComplete) {
                ++m_hangUps;
                Q_EMIT clientHungUp();
            }
            // Forgotten later: the caller up the stack may still hold the entry.
            QTimer::singleShot(0, this, [this, socket] {
                m_connections.erase(socket);
                socket->deleteLater();
            });
        });
    }
}

LoopbackHttpServer::Connection *LoopbackHttpServer::find(QTcpSocket *socket)
{
    const auto it = m_connections.find(socket);
    return it == m_connections.end() ? nullptr : &it->second;
}

void LoopbackHttpServer::readRequest(Connection &connection)
{
    // One request per connection: every answer closes it.
    connection.buffer += connection.socket->readAll();
    if (connection.requestRead || connection.closed)
        return;
    const qsizetype end = connection.buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    connection.requestRead = true;
    const Request request = parseRequest(connection.buffer.left(end + 4));
    m_requests.append(request);
    Q_EMIT requestReceived(request);

    int delayMs = 0;
    const FaultAnswers::Reply reply = replyFor(request.target, delayMs);
    if (delayMs <= 0) {
        send(connection, reply);
        return;
    }
    QTcpSocket *socket = connection.socket;
    QTimer::singleShot(delayMs, socket, [this, socket, reply] {
        Connection *c = find(socket);
        if (c && !c->closed)
            send(*c, reply);
    });
}

FaultAnswers::Reply LoopbackHttpServer::replyFor(const QByteArray &target, int &delayMs)
{
    auto set = m_answers.constFind(target);
    const qsizetype query = target.indexOf('?');
    if (set == m_answers.constEnd() && query >= 0)
        set = m_answers.constFind(target.left(query));
    if (set != m_answers.constEnd()) {
        delayMs = set->closeWithoutAnswer ? 0 : set->delayMs;
        return replyOf(*set);
    }
    if (const std::optional<Fault> fault = FaultAnswers::byPath(target))
        return serveFault(*fault, target);
    if (!m_cycle.isEmpty())
        return serveFault(nextInCycle(), target);
    if (m_defaultAnswer) {
        delayMs = m_defaultAnswer->closeWithoutAnswer ? 0 : m_defaultAnswer->delayMs;
        return replyOf(*m_defaultAnswer);
    }
    return serveFault(Fault::Ok, target);
}

FaultAnswers::Reply LoopbackHttpServer::serveFault(Fault fault, const QByteArray &target)
{
    m_served.append({fault, target, m_clock.elapsed()});
    return m_faults.replyTo(fault, target);
}

LoopbackHttpServer::Fault LoopbackHttpServer::nextInCycle()
{
    const Fault fault = m_cycle.at(m_cycleNext);
    m_cycleNext = (m_cycleNext + 1) % int(m_cycle.size());
    if (m_cycle.at(m_cycleNext) == Fault::Refused) {
        m_cycleNext = (m_cycleNext + 1) % int(m_cycle.size());
        closeForRefusedWindow();
    }
    return fault;
}

void LoopbackHttpServer::closeForRefusedWindow()
{
    ++m_refusedWindows;
    m_server.close();
    QTimer::singleShot(m_refusedWindowMs, this, [this] {
        // QTcpServer reuses the address, so the same port is free again at once.
        m_server.listen(QHostAddress::LocalHost, m_port);
    });
}

void LoopbackHttpServer::send(Connection &connection, const FaultAnswers::Reply &reply)
{
    QTcpSocket *socket = connection.socket;
    socket->write(reply.bytes);
    switch (reply.then) {
    case Then::Close:
        finish(connection);
        return;
    case Then::Silence:
        return;
    case Then::Drip: {
        auto *drip = new QTimer(socket);
        const QByteArray piece = reply.piece;
        connect(drip, &QTimer::timeout, socket, [socket, piece] { socket->write(piece); });
        drip->start(FaultAnswers::DripIntervalMs);
        return;
    }
    case Then::Stream:
        connection.piece = reply.piece;
        connection.streamLeft = reply.streamBytes;
        writeMoreStream(connection);
        return;
    case Then::Reset:
        connection.answerComplete = true;
        QTimer::singleShot(FaultAnswers::ResetAfterMs, socket,
                           [this, socket] { resetConnection(socket); });
        return;
    }
}

void LoopbackHttpServer::writeMoreStream(Connection &connection)
{
    if (connection.streamLeft <= 0 || connection.closed)
        return;
    // Written as the client takes it, so the server's own memory stays small.
    if (connection.socket->bytesToWrite() > StreamQueueBytes)
        return;
    const qint64 chunk = qMin(qint64(connection.piece.size()), connection.streamLeft);
    connection.streamLeft -= chunk;
    connection.socket->write(connection.piece.constData(), chunk);
    if (connection.streamLeft == 0)
        finish(connection);
}

void LoopbackHttpServer::finish(Connection &connection)
{
    connection.answerComplete = true;
    connection.socket->disconnectFromHost();
}

void LoopbackHttpServer::resetConnection(QTcpSocket *socket)
{
    Connection *connection = find(socket);
    if (!connection || connection->closed)
        return;
    // A zero linger time makes close() send RST instead of FIN.
    const linger abortive{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                 sizeof abortive);
    socket->abort();
}
