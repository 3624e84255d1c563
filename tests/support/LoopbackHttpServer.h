#ifndef TAVRIN_SUPPORT_LOOPBACKHTTPSERVER_H
#define TAVRIN_SUPPORT_LOOPBACKHTTPSERVER_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests. It records every request it
// reads and answers each with the answer set for its target (the raw request
// target first, then its path without the query), or with the default answer.
// Every answer closes the connection afterwards.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

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

    explicit LoopbackHttpServer(QObject *parent = nullptr);

    // Listens on 127.0.0.1 at a free port. Returns false if that failed.
    bool listen();
    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by path.
    QString url(const QString &path = QStringLiteral("/")) const;

    void setAnswer(const QByteArray &target, const Answer &answer);
    void setDefaultAnswer(const Answer &answer);

    static Answer ok(const QByteArray &body, const QByteArray &contentType = "text/plain");
    static Answer redirect(const QByteArray &location, int status = 302);

    QList<Request> requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    // Connections the client closed while their request still waited for its answer.
    int hangUps() const { return m_hangUps; }

Q_SIGNALS:
    void requestReceived(const LoopbackHttpServer::Request &request);
    void clientHungUp();

private:
    void acceptConnections();
    void readFrom(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Answer &answer);
    Answer answerFor(const QByteArray &target) const;

    QTcpServer m_server;
    QHash<QByteArray, Answer> m_answers;
    Answer m_defaultAnswer;
    QList<Request> m_requests;
    int m_hangUps = 0;
};

#endif
