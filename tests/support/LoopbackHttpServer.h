#ifndef TAVRIN_SUPPORT_LOOPBACKHTTPSERVER_H
#define TAVRIN_SUPPORT_LOOPBACKHTTPSERVER_H

#include "FaultAnswers.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>

#include <map>
#include <optional>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests. It records every request it
// reads and answers it with, first found:
//  - the answer set for its target (the raw request target, then its path
//    without the query);
//  - the fault whose path (pathFor()) starts the target;
//  - the next fault of the cycle (setCycle());
//  - the default answer, if one was set;
//  - a plain success, Fault::Ok.
// Every answer closes its connection.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    using Fault = FaultAnswers::Fault;

    struct Answer
    {
        int status = 200;
        QByteArray body;
        Headers headers; // sent as given, then Content-Length and Connection: close
        int delayMs = 0;
        bool neverAnswer = false;        // keep the connection open and silent
        bool closeWithoutAnswer = false; // hang up as soon as the request is read
        bool omitContentLength = false;  // the body ends where the connection does
    };

    struct Request
    {
        QByteArray method;
        QByteArray target; // exactly as on the request line
        QByteArray version;
        Headers headers;
        QByteArray raw; // the request line and headers as received

        // The first header of that name (case-insensitive), or a null QByteArray.
        QByteArray header(const QByteArray &name) const;
        bool hasHeader(const QByteArray &name) const;
    };

    // A request answered with a fault.
    struct Served
    {
        Fault fault;
        QByteArray target;
        qint64 atMs; // since listen()
    };

    explicit LoopbackHttpServer(QObject *parent = nullptr);
    ~LoopbackHttpServer() override;

    // Listens on 127.0.0.1 at a free port. Returns false if that failed.
    bool listen();
    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path.
    QString url(const QString &path = QStringLiteral("/")) const;

    void setAnswer(const QByteArray &target, const Answer &answer);
    void setDefaultAnswer(const Answer &answer);

    static Answer ok(const QByteArray &body, const QByteArray &contentType = "text/plain");
    static Answer redirect(const QByteArray &location, int status = 302);

    static QString pathFor(Fault fault) { return FaultAnswers::pathFor(fault); }
    static QString nameOf(Fault fault) { return FaultAnswers::nameOf(fault); }

    // When the cycle reaches Refused, the listening socket is closed for
    // refusedWindowMs right after the request before it, then opened again on
    // the same port and the cycle goes on.
    void setCycle(const QList<Fault> &cycle, int refusedWindowMs);

    QList<Request> requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    QList<Served> served() const { return m_served; }
    int openConnections() const { return int(m_connections.size()); }
    int peakOpenConnections() const { return m_peakConnections; }
    // Connections the client closed before their answer was complete.
    int hangUps() const { return m_hangUps; }
    int refusedWindows() const { return m_refusedWindows; }

Q_SIGNALS:
    void requestReceived(const LoopbackHttpServer::Request &request);
    void clientHungUp();

private:
    struct Connection
    {
        QTcpSocket *socket = nullptr;
        QByteArray buffer;
        bool requestRead = false;
        bool answerComplete = false;
        bool closed = false;
        QByteArray piece; // of a streamed answer, written again and again
        qint64 streamLeft = 0;
    };

    void accept();
    Connection *find(QTcpSocket *socket);
    void readRequest(Connection &connection);
    FaultAnswers::Reply replyFor(const QByteArray &target, int &delayMs);
    FaultAnswers::Reply serveFault(Fault fault, const QByteArray &target);
    Fault nextInCycle();
    void closeForRefusedWindow();
    void send(Connection &connection, const FaultAnswers::Reply &reply);
    void writeMoreStream(Connection &connection);
    void finish(Connection &connection);
    void resetConnection(QTcpSocket *socket);

    QTcpServer m_server;
    quint16 m_port = 0;
    QElapsedTimer m_clock;
    std::map<QTcpSocket *, Connection> m_connections;
    QHash<QByteArray, Answer> m_answers;
    std::optional<Answer> m_defaultAnswer;
    FaultAnswers m_faults;
    QList<Fault> m_cycle;
    int m_cycleNext = 0;
    int m_refusedWindowMs = 0;
    int m_refusedWindows = 0;
    QList<Request> m_requests;
    QList<Served> m_served;
    int m_peakConnections = 0;
    int m_hangUps = 0;
};

#endif
