#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using Fault = LoopbackHttpServer::Fault;
Q_DECLARE_METATYPE(LoopbackHttpServer::Fault)

namespace {

// Sends one GET for target; returns the socket, still open.
std::unique_ptr<QTcpSocket> sendRequest(const LoopbackHttpServer &server, const QByteArray &target)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, server.port());
    if (socket->waitForConnected(5000))
        socket->write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return socket;
}

QList<Fault> faultsServed(const LoopbackHttpServer &server)
{
    QList<Fault> faults;
    for (const LoopbackHttpServer::Served &served : server.served())
        faults.append(served.fault);
    return faults;
}

} // namespace

class TestLoopbackHttpServer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstMatchAnswers_data();
    void firstMatchAnswers();
    void hangUpsCountUnfinishedAnswers_data();
    void hangUpsCountUnfinishedAnswers();
};

void TestLoopbackHttpServer::firstMatchAnswers_data()
{
    QTest::addColumn<QByteArray>("answered"); // given an answer of its own (201), or ""
    QTest::addColumn<bool>("withDefault");    // a default answer: 203
    QTest::addColumn<bool>("withCycle");      // a cycle of one fault: 404
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<Fault>>("served");

    QTest::newRow("own answer before fault path")
        << QByteArray("/error/k") << true << true << QByteArray("/error/k") << 201
        << QList<Fault>();
    QTest::newRow("own answer by path without query")
        << QByteArray("/k") << true << true << QByteArray("/k?pw=1") << 201 << QList<Fault>();
    QTest::newRow("another target's answer") << QByteArray("/other") << false << false
                                             << QByteArray("/k") << 200 << QList<Fault>{Fault::Ok};
    QTest::newRow("fault path before cycle")
        << QByteArray() << true << true << QByteArray("/error/k") << 500
        << QList<Fault>{Fault::ServerError};
    QTest::newRow("cycle before default answer") << QByteArray() << true << true << QByteArray("/k")
                                                 << 404 << QList<Fault>{Fault::EchoingError};
    QTest::newRow("default answer")
        << QByteArray() << true << false << QByteArray("/k") << 203 << QList<Fault>();
    QTest::newRow("plain success last")
        << QByteArray() << false << false << QByteArray("/k") << 200 << QList<Fault>{Fault::Ok};
}

void TestLoopbackHttpServer::firstMatchAnswers()
{
    QFETCH(QByteArray, answered);
    QFETCH(bool, withDefault);
    QFETCH(bool, withCycle);
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QList<Fault>, served);

    LoopbackHttpServer server;
    QVERIFY(server.listen());
    LoopbackHttpServer::Answer own = LoopbackHttpServer::ok("own");
    own.status = 201;
    LoopbackHttpServer::Answer fallback = LoopbackHttpServer::ok("default");
    fallback.status = 203;
    if (!answered.isEmpty())
        server.setAnswer(answered, own);
    if (withDefault)
        server.setDefaultAnswer(fallback);
    if (withCycle)
        server.setCycle({Fault::EchoingError}, 0);

    const auto socket = sendRequest(server, target);
    QByteArray answer;
    QVERIFY(QTest::qWaitFor([&] {
        answer += socket->readAll();
        return socket->state() == QAbstractSocket::UnconnectedState;
    }));
    answer += socket->readAll();

    QVERIFY2(answer.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '), answer.constData());
    QCOMPARE(server.requestCount(), 1);
    QCOMPARE(server.requests().at(0).target, target);
    QCOMPARE(faultsServed(server), served);
    QCOMPARE(server.hangUps(), 0);
}

void TestLoopbackHttpServer::hangUpsCountUnfinishedAnswers_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("hangUps");

    // "/k" gets the default answer: silent, or a hang-up by the server.
    QTest::newRow("silent answer") << QByteArray("/k") << 1;
    QTest::newRow("never answered") << QByteArray("/never/k") << 1;
    QTest::newRow("slow drip") << QByteArray("/drip/k") << 1;
    QTest::newRow("whole answer") << QByteArray("/ok/k") << 0;
    QTest::newRow("server hangs up") << QByteArray("/cut") << 0;
    QTest::newRow("reset by the server") << QByteArray("/reset/k") << 0;
}

void TestLoopbackHttpServer::hangUpsCountUnfinishedAnswers()
{
    QFETCH(QByteArray, target);
    QFETCH(int, hangUps);

    LoopbackHttpServer server;
    QVERIFY(server.listen());
    LoopbackHttpServer::Answer silent;
    silent.neverAnswer = true;
    server.setDefaultAnswer(silent);
    LoopbackHttpServer::Answer cut;
    cut.closeWithoutAnswer = true;
    server.setAnswer("/cut", cut);

    const auto socket = sendRequest(server, target);
    QTRY_COMPARE(server.requestCount(), 1);
    // Time for an answer the server ends itself, such as the reset.
    QTest::qWait(2 * FaultAnswers::ResetAfterMs);
    socket->abort();
    QTRY_COMPARE(server.openConnections(), 0);
    QCOMPARE(server.hangUps(), hangUps);
}

QTEST_GUILESS_MAIN(TestLoopbackHttpServer)
#include "tst_loopbackhttpserver.moc"
