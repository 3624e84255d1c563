#include "FaultHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <limits>

#include <sys/socket.h>
#include <zlib.h>

namespace {

constexpr qint64 StreamChunkBytes = 64 * 1024;
constexpr qint64 DripDeclaredBytes = 4096;
constexpr int ResetAfterMs = 100;

QByteArray head(int status, const QByteArray &reason, const QByteArray &extraHeaders)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n" + extraHeaders +
           "Connection: close\r\n\r\n";
}

QByteArray lengthHeader(qint64 length)
{
    return "Content-Length: " + QByteArray::number(length) + "\r\n";
}

QByteArray nestedTables(int depth)
{
    return "<html><body>" + QByteArray("<table><tr><td>").repeated(depth) + "good" +
           QByteArray("</td></tr></table>").repeated(depth) + "</body></html>";
}

// BombBytes zeros, packed once per format (windowBits 31: gzip, 15: zlib).
const QByteArray &bomb(int windowBits)
{
    static std::map<int, QByteArray> packed;
    QByteArray &out = packed[windowBits];
    if (!out.isEmpty())
        return out;
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return out;
    const QByteArray zeros(1024 * 1024, '\0');
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (qint64 done = 0; done <= FaultHttpServer::BombBytes; done += zeros.size()) {
        const bool last = done == FaultHttpServer::BombBytes;
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
        stream.avail_in = last ? 0 : uInt(zeros.size());
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer.constData(), buffer.size() - qsizetype(stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

} // namespace

FaultHttpServer::FaultHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FaultHttpServer::accept);
}

FaultHttpServer::~FaultHttpServer()
{
    for (auto &entry : m_connections) {
        entry.first->disconnect(this);
        entry.first->abort();
        delete entry.first;
    }
}

bool FaultHttpServer::listen()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        return false;
    m_port = m_server.serverPort();
    m_clock.start();
    return true;
}

QString FaultHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

QString FaultHttpServer::pathFor(Fault fault)
{
    switch (fault) {
    case Fault::Ok:
        return QStringLiteral("/ok/");
    case Fault::ServerError:
        return QStringLiteral("/error/");
    case Fault::EchoingError:
        return QStringLiteral("/echo/");
    case Fault::NeverAnswer:
        return QStringLiteral("/never/");
    case Fault::Drip:
        return QStringLiteral("/drip/");
    case Fault::HugeBody:
        return QStringLiteral("/huge/");
    case Fault::HugeStream:
        return QStringLiteral("/stream/");
    case Fault::RedirectLoop:
        return QStringLiteral("/loop/");
    case Fault::ResetMidAnswer:
        return QStringLiteral("/reset/");
    case Fault::NestedTables:
        return QStringLiteral("/tables20/");
    case Fault::DeepTables:
        return QStringLiteral("/tables4000/");
    case Fault::InterimThenError:
        return QStringLiteral("/interim/");
    case Fault::CutChunked:
        return QStringLiteral("/chunked/");
    case Fault::GzipBomb:
        return QStringLiteral("/gzip/");
    case Fault::DeflateBomb:
        return QStringLiteral("/deflate/");
    case Fault::EndlessHeader:
        return QStringLiteral("/header/");
    case Fault::Garbage:
        return QStringLiteral("/garbage/");
    case Fault::OversizedChunk:
        return QStringLiteral("/hugechunk/");
    case Fault::DamagedGzip:
        return QStringLiteral("/badgzip/");
    case Fault::Refused:
        break;
    }
    return QString();
}

QString FaultHttpServer::nameOf(Fault fault)
{
    switch (fault) {
    case Fault::Ok:
        return QStringLiteral("ok");
    case Fault::ServerError:
        return QStringLiteral("HTTP 500");
    case Fault::EchoingError:
        return QStringLiteral("404 echoing the request");
    case Fault::NeverAnswer:
        return QStringLiteral("never answered");
    case Fault::Drip:
        return QStringLiteral("slow drip");
    case Fault::HugeBody:
        return QStringLiteral("5 MB body");
    case Fault::HugeStream:
        return QStringLiteral("5 MB body without length");
    case Fault::RedirectLoop:
        return QStringLiteral("redirect loop");
    case Fault::ResetMidAnswer:
        return QStringLiteral("reset mid-answer");
    case Fault::Refused:
        return QStringLiteral("refused");
    case Fault::NestedTables:
        return QStringLiteral("20 nested tables");
    case Fault::DeepTables:
        return QStringLiteral("4,000 nested tables");
    case Fault::InterimThenError:
        return QStringLiteral("103, then 500");
    case Fault::CutChunked:
        return QStringLiteral("chunked body cut short");
    case Fault::GzipBomb:
        return QStringLiteral("gzip bomb");
    case Fault::DeflateBomb:
        return QStringLiteral("deflate bomb");
    case Fault::EndlessHeader:
        return QStringLiteral("endless header");
    case Fault::Garbage:
        return QStringLiteral("garbage");
    case Fault::OversizedChunk:
        return QStringLiteral("oversized chunk size");
    case Fault::DamagedGzip:
        return QStringLiteral("damaged gzip");
    }
    return QString();
}

void FaultHttpServer::setCycle(const QList<Fault> &cycle, int refusedWindowMs)
{
    m_cycle = cycle;
    m_cycleNext = 0;
    m_refusedWindowMs = refusedWindowMs;
}

void FaultHttpServer::accept()
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
                writeMoreBody(*c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            Connection *c = find(socket);
            if (!c || c->closed)
                return;
            c->closed = true;
            if (c->requestRead && !c->answerComplete)
                ++m_clientHangUps;
            // Forgotten later: the caller up the stack may still hold the entry.
            QTimer::singleShot(0, this, [this, socket] {
                m_connections.erase(socket);
                socket->deleteLater();
            });
        });
    }
}

FaultHttpServer::Connection *FaultHttpServer::find(QTcpSocket *socket)
{
    const auto it = m_connections.find(socket);
    return it == m_connections.end() ? nullptr : &it->second;
}

void FaultHttpServer::readRequest(Connection &connection)
{
    connection.buffer += connection.socket->readAll();
    if (connection.requestRead || connection.closed)
        return;
    const qsizetype end = connection.buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    connection.requestRead = true;
    const QByteArray requestLine = connection.buffer.left(connection.buffer.indexOf("\r\n"));
    const QByteArray target = requestLine.split(' ').value(1);

    const Fault fault = faultFor(target);
    m_served.append({fault, target, m_clock.elapsed()});
    Q_EMIT requestServed(fault);
    answer(connection, fault, target);
}

FaultHttpServer::Fault FaultHttpServer::faultFor(const QByteArray &target)
{
    static const Fault named[] = {Fault::Ok,
                                  Fault::ServerError,
                                  Fault::EchoingError,
                                  Fault::NeverAnswer,
                                  Fault::Drip,
                                  Fault::HugeBody,
                                  Fault::HugeStream,
                                  Fault::RedirectLoop,
                                  Fault::ResetMidAnswer,
                                  Fault::NestedTables,
                                  Fault::DeepTables,
                                  Fault::InterimThenError,
                                  Fault::CutChunked,
                                  Fault::GzipBomb,
                                  Fault::DeflateBomb,
                                  Fault::EndlessHeader,
                                  Fault::Garbage,
                                  Fault::OversizedChunk,
                                  Fault::DamagedGzip};
    for (Fault fault : named) {
        if (target.startsWith(pathFor(fault).toLatin1()))
            return fault;
    }
    if (m_cycle.isEmpty())
        return Fault::Ok;

    const Fault fault = m_cycle.at(m_cycleNext);
    m_cycleNext = (m_cycleNext + 1) % int(m_cycle.size());
    if (m_cycle.at(m_cycleNext) == Fault::Refused) {
        m_cycleNext = (m_cycleNext + 1) % int(m_cycle.size());
        closeForRefusedWindow();
    }
    return fault;
}

void FaultHttpServer::closeForRefusedWindow()
{
    ++m_refusedWindows;
    m_server.close();
    QTimer::singleShot(m_refusedWindowMs, this, [this] {
        // QTcpServer reuses the address, so the same port is free again at once.
        m_server.listen(QHostAddress::LocalHost, m_port);
    });
}

void FaultHttpServer::answer(Connection &connection, Fault fault, const QByteArray &target)
{
    QTcpSocket *socket = connection.socket;
    switch (fault) {
    case Fault::Ok:
    case Fault::Refused: {
        const QByteArray body = "good 127.0.0.1";
        socket->write(head(200, "OK", "Content-Type: text/plain\r\n" + lengthHeader(body.size())));
        socket->write(body);
        finish(connection);
        return;
    }
    case Fault::ServerError: {
        const QByteArray body = "Internal Server Error";
        socket->write(head(500, "Internal Server Error",
                           "Content-Type: text/plain\r\n" + lengthHeader(body.size())));
        socket->write(body);
        finish(connection);
        return;
    }
    case Fault::EchoingError: {
        // Servers often quote what was asked for; the key must not get from
        // there into the log.
        const QByteArray body = QByteArray::fromPercentEncoding(target.mid(1)) + " was not found";
        socket->write(
            head(404, "Not Found", "Content-Type: text/plain\r\n" + lengthHeader(body.size())));
        socket->write(body);
        finish(connection);
        return;
    }
    case Fault::NeverAnswer:
        return;
    case Fault::Drip: {
        socket->write(
            head(200, "OK", "Content-Type: text/plain\r\n" + lengthHeader(DripDeclaredBytes)));
        socket->write("g");
        auto *drip = new QTimer(socket);
        connect(drip, &QTimer::timeout, socket, [socket] { socket->write("o"); });
        drip->start(DripIntervalMs);
        return;
    }
    case Fault::HugeBody:
    case Fault::HugeStream: {
        const QByteArray length = fault == Fault::HugeBody ? lengthHeader(HugeBytes) : QByteArray();
        socket->write(head(200, "OK", "Content-Type: text/plain\r\n" + length));
        // Written a chunk at a time as the client takes it, so the server's
        // own memory stays small.
        connection.bodyLeft = HugeBytes;
        writeMoreBody(connection);
        return;
    }
    case Fault::RedirectLoop: {
        const QByteArray location = "/loop/" + QByteArray::number(++m_redirects);
        socket->write(head(302, "Found", "Location: " + location + "\r\n" + lengthHeader(0)));
        finish(connection);
        return;
    }
    case Fault::ResetMidAnswer: {
        socket->write(head(200, "OK", "Content-Type: text/plain\r\n" + lengthHeader(100000)));
        socket->write(QByteArray(1000, 'r'));
        connection.answerComplete = true; // the server ends it, not the client
        QTimer::singleShot(ResetAfterMs, socket, [this, socket] { resetConnection(socket); });
        return;
    }
    case Fault::NestedTables:
    case Fault::DeepTables: {
        const QByteArray body = nestedTables(fault == Fault::NestedTables ? 20 : 4000);
        socket->write(head(200, "OK", "Content-Type: text/html\r\n" + lengthHeader(body.size())));
        socket->write(body);
        finish(connection);
        return;
    }
    case Fault::InterimThenError:
        socket->write("HTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\n\r\n");
        socket->write(
            head(500, "Internal Server Error", "Content-Type: text/plain\r\n" + lengthHeader(7)) +
            "badauth");
        finish(connection);
        return;
    case Fault::CutChunked:
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                      "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                      "4\r\ngood\r\n1000\r\npart of the chunk");
        finish(connection);
        return;
    case Fault::GzipBomb:
    case Fault::DeflateBomb: {
        const bool gzip = fault == Fault::GzipBomb;
        const QByteArray &body = bomb(gzip ? 31 : 15);
        socket->write(head(200, "OK",
                           "Content-Type: text/plain\r\nContent-Encoding: " +
                               QByteArray(gzip ? "gzip" : "deflate") + "\r\n" +
                               lengthHeader(body.size())));
        socket->write(body);
        finish(connection);
        return;
    }
    case Fault::EndlessHeader:
        socket->write("HTTP/1.1 200 OK\r\n");
        connection.endlessPiece = "X-Filler: " + QByteArray(1000, 'h') + "\r\n";
        connection.bodyLeft = std::numeric_limits<qint64>::max();
        writeMoreBody(connection);
        return;
    case Fault::OversizedChunk:
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                      "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                      "4\r\ngood\r\nffffffffffffffff\r\n" +
                      QByteArray(4096, 'm'));
        finish(connection);
        return;
    case Fault::DamagedGzip: {
        // A gzip header, then a deflate block of a type that does not exist.
        const QByteArray body =
            QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + QByteArray(1024, '\xff');
        socket->write(head(200, "OK",
                           "Content-Type: text/plain\r\nContent-Encoding: gzip\r\n" +
                               lengthHeader(body.size())));
        socket->write(body);
        finish(connection);
        return;
    }
    case Fault::Garbage:
        connection.endlessPiece =
            QByteArray("\x16\x03\x01\x00\xff garbage \x00\x80\n").repeated(1000);
        connection.bodyLeft = std::numeric_limits<qint64>::max();
        writeMoreBody(connection);
        return;
    }
}

void FaultHttpServer::writeMoreBody(Connection &connection)
{
    if (connection.bodyLeft <= 0 || connection.closed)
        return;
    // Keep at most two chunks queued.
    if (connection.socket->bytesToWrite() > StreamChunkBytes)
        return;
    if (!connection.endlessPiece.isEmpty()) {
        connection.socket->write(connection.endlessPiece);
        return;
    }
    const qint64 chunk = qMin(StreamChunkBytes, connection.bodyLeft);
    connection.bodyLeft -= chunk;
    connection.socket->write(QByteArray(chunk, 'z'));
    if (connection.bodyLeft == 0)
        finish(connection);
}

void FaultHttpServer::finish(Connection &connection)
{
    connection.answerComplete = true;
    connection.socket->disconnectFromHost();
}

void FaultHttpServer::resetConnection(QTcpSocket *socket)
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
