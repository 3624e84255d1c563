#ifndef TAVRIN_FAULT_FAULTHTTPSERVER_H
#define TAVRIN_FAULT_FAULTHTTPSERVER_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <map>

class QTcpSocket;

// An HTTP server on 127.0.0.1 that misbehaves on purpose.
//
// A request whose path starts with a fault's path (pathFor()) gets that fault;
// any other request gets the next fault of the cycle (setCycle()), or a plain
// success when there is no cycle. Every answer closes its connection.
class FaultHttpServer : public QObject
{
    Q_OBJECT
public:
    enum class Fault
    {
        Ok,             // 200 with a short text
        ServerError,    // 500
        EchoingError,   // 404 whose text starts with the requested path, key and all
        NeverAnswer,    // reads the request, then stays silent
        Drip,           // headers, then one body byte a second
        HugeBody,       // 5 MB body with its Content-Length
        HugeStream,     // 5 MB body ended by closing, no Content-Length
        RedirectLoop,   // 302 to another /loop/ path, forever
        ResetMidAnswer, // some of the body, then a TCP reset
        Refused,        // cycle only: nothing listens for a while
        // Hostile answers:
        NestedTables,     // 200 text/html, 20 nested tables round "good"
        DeepTables,       // 200 text/html, 4,000 nested tables round "good"
        InterimThenError, // 103 Early Hints, then 500 "badauth"
        CutChunked,       // chunked "good", then part of a 4 kB chunk and a close
        GzipBomb,         // gzip body of BombBytes zeros, with its Content-Length
        DeflateBomb,      // the same as deflate
        EndlessHeader,    // a status line, then header lines for ever
        Garbage,          // bytes that are no HTTP, for ever
        OversizedChunk,   // chunked, a chunk size of 2^64 - 1, more bytes, then a close
        DamagedGzip       // gzip-coded body whose stream breaks off into junk
    };

    struct Served
    {
        Fault fault;
        QByteArray target;
        qint64 atMs; // since listen()
    };

    static constexpr qint64 HugeBytes = 5 * 1024 * 1024;
    static constexpr int DripIntervalMs = 1000;
    static constexpr qint64 BombBytes = 256 * 1024 * 1024; // unpacked

    explicit FaultHttpServer(QObject *parent = nullptr);
    ~FaultHttpServer() override;

    bool listen();
    quint16 port() const { return m_port; }
    bool isListening() const { return m_server.isListening(); }
    QString url(const QString &path) const;

    static QString pathFor(Fault fault); // "/error/" and so on; Ok has "/ok/"
    static QString nameOf(Fault fault);

    // When the cycle reaches Refused, the listening socket is closed for
    // refusedWindowMs right after the request before it, then opened again on
    // the same port and the cycle goes on.
    void setCycle(const QList<Fault> &cycle, int refusedWindowMs);

    QList<Served> served() const { return m_served; }
    int openConnections() const { return int(m_connections.size()); }
    int peakOpenConnections() const { return m_peakConnections; }
    // Connections the client closed before the answer was complete.
    int clientHangUps() const { return m_clientHangUps; }
    int refusedWindows() const { return m_refusedWindows; }

Q_SIGNALS:
    void requestServed(FaultHttpServer::Fault fault);

private:
    struct Connection
    {
        QTcpSocket *socket = nullptr;
        QByteArray buffer;
        bool requestRead = false;
        bool answerComplete = false;
        bool closed = false;
        qint64 bodyLeft = 0;     // of a streamed body still to be written
        QByteArray endlessPiece; // written again and again while bodyLeft lasts
    };

    void accept();
    void readRequest(Connection &connection);
    Fault faultFor(const QByteArray &target);
    void answer(Connection &connection, Fault fault, const QByteArray &target);
    void writeMoreBody(Connection &connection);
    void finish(Connection &connection);
    void resetConnection(QTcpSocket *socket);
    void closeForRefusedWindow();
    Connection *find(QTcpSocket *socket);

    QTcpServer m_server;
    quint16 m_port = 0;
    QElapsedTimer m_clock;
    std::map<QTcpSocket *, Connection> m_connections;
    QList<Fault> m_cycle;
    int m_cycleNext = 0;
    int m_refusedWindowMs = 0;
    int m_refusedWindows = 0;
    int m_redirects = 0;
    int m_peakConnections = 0;
    int m_clientHangUps = 0;
    QList<Served> m_served;
};

#endif
