#include "ChannelOutcomes.h"
#include "LoopbackHttpServer.h"
#include "ProcessMemory.h"
#include "qt/CoreTypes.h"
#include "qt/Log.h"
#include "qt/update/HttpRequestChannel.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QTcpServer>
#include <QTest>

using Fault = LoopbackHttpServer::Fault;
Q_DECLARE_METATYPE(LoopbackHttpServer::Fault)

namespace {

const QString Key = QStringLiteral("Qv7-fault-key-Zx94");

QStringList updateLog;
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    // Lines of the request channel are kept for the checks; only its warnings are shown.
    if (qstrcmp(context.category, "tavrin.update") == 0) {
        updateLog.append(text);
        if (type == QtDebugMsg || type == QtInfoMsg)
            return;
    }
    previousHandler(type, context, text);
}

// A port nothing listens on: taken from the system, then given back.
quint16 closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestNetworkFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void faultIsReportedAndNextRequestSucceeds_data();
    void faultIsReportedAndNextRequestSucceeds();
    void hostileAnswerEndsPromptly_data();
    void hostileAnswerEndsPromptly();
    void newRequestAbandonsHungFault_data();
    void newRequestAbandonsHungFault();
    void repeatedFaultsKeepMemoryAndConnectionsBounded();

private:
    QString faultUrl(Fault fault) const;
    void checkLogHoldsNoKey();

    std::unique_ptr<LoopbackHttpServer> m_server;
};

void TestNetworkFaults::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tavrin.*=true"));
    previousHandler = qInstallMessageHandler(recordMessage);
    installCoreLogSink();
}

void TestNetworkFaults::init()
{
    updateLog.clear();
    m_server = std::make_unique<LoopbackHttpServer>();
    QVERIFY(m_server->listen());
}

void TestNetworkFaults::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
}

QString TestNetworkFaults::faultUrl(Fault fault) const
{
    if (fault == Fault::Refused)
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(closedPort()).arg(Key);
    return m_server->url(LoopbackHttpServer::pathFor(fault) + Key);
}

void TestNetworkFaults::checkLogHoldsNoKey()
{
    for (const QString &line : std::as_const(updateLog))
        QVERIFY2(!line.contains(Key), qPrintable(QStringLiteral("key logged: ") + line));
}

void TestNetworkFaults::faultIsReportedAndNextRequestSucceeds_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");

    QTest::newRow("refused") << Fault::Refused << 0 << "connection refused";
    QTest::newRow("HTTP 500") << Fault::ServerError << 500 << "HTTP 500";
    QTest::newRow("404 echoing the request") << Fault::EchoingError << 404 << "HTTP 404";
    QTest::newRow("never answered") << Fault::NeverAnswer << 0 << "no answer within";
    // Bytes keep coming, so only a deadline on the whole fetch ends it.
    QTest::newRow("slow drip") << Fault::Drip << 0 << "no answer within";
    QTest::newRow("5 MB body") << Fault::HugeBody << 0 << "answer too large";
    QTest::newRow("5 MB body without length") << Fault::HugeStream << 0 << "answer too large";
    QTest::newRow("redirect loop") << Fault::RedirectLoop << 0 << "too many redirects";
    QTest::newRow("reset mid-answer") << Fault::ResetMidAnswer << 0 << "";
}

void TestNetworkFaults::faultIsReportedAndNextRequestSucceeds()
{
    QFETCH(Fault, fault);
    QFETCH(int, status);
    QFETCH(QString, reason);

    HttpRequestChannel browser;
    browser.setTransferTimeout(1200);
    ChannelOutcomes outcomes(browser);
    const QList<QVariantList> &succeeded = outcomes.succeeded, &failed = outcomes.failed;

    browser.navigate(toStd(faultUrl(fault)));
    QVERIFY(browser.busy());
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 8000);
    QVERIFY(!browser.busy());
    QCOMPARE(succeeded.count(), 0);
    QCOMPARE(failed.at(0).at(0).toInt(), status);
    const QString reported = failed.at(0).at(1).toString();
    QVERIFY(!reported.isEmpty());
    QVERIFY2(reported.contains(reason), qPrintable(reported));
    QVERIFY(!reported.contains(Key));
    QVERIFY(!updateLog.filter(QStringLiteral("failed: ") + reported).isEmpty());

    // The failed fetch leaves nothing behind that spoils the next one.
    browser.navigate(toStd(m_server->url(LoopbackHttpServer::pathFor(Fault::Ok) + Key)));
    QTRY_COMPARE_WITH_TIMEOUT(succeeded.count(), 1, 5000);
    QCOMPARE(succeeded.at(0).at(0).toInt(), 200);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!browser.busy());
    checkLogHoldsNoKey();
}

void TestNetworkFaults::hostileAnswerEndsPromptly_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("status");      // 0 for a failure without a whole answer
    QTest::addColumn<QString>("outcome"); // "" for success, else part of the reason

    QTest::newRow("20 nested tables") << Fault::NestedTables << 200 << "";
    QTest::newRow("4,000 nested tables") << Fault::DeepTables << 200 << "";
    // The interim answer is skipped; the final one decides.
    QTest::newRow("103, then 500") << Fault::InterimThenError << 500 << "HTTP 500";
    QTest::newRow("chunked body cut short") << Fault::CutChunked << 0 << "answer cut short";
    QTest::newRow("gzip bomb") << Fault::GzipBomb << 0 << "answer too large";
    QTest::newRow("deflate bomb") << Fault::DeflateBomb << 0 << "answer too large";
    QTest::newRow("damaged gzip") << Fault::DamagedGzip << 0 << "compressed answer damaged";
    QTest::newRow("oversized chunk size") << Fault::OversizedChunk << 0 << "answer too large";
    QTest::newRow("endless header") << Fault::EndlessHeader << 0 << "invalid answer";
    QTest::newRow("garbage") << Fault::Garbage << 0 << "invalid answer";
}

void TestNetworkFaults::hostileAnswerEndsPromptly()
{
    QFETCH(Fault, fault);
    QFETCH(int, status);
    QFETCH(QString, outcome);

    // Each must end on its own, long before a deadline far beyond what it needs.
    const int deadlineMs = 20000;
    HttpRequestChannel browser;
    browser.setTransferTimeout(deadlineMs);
    ChannelOutcomes outcomes(browser);
    const QList<QVariantList> &succeeded = outcomes.succeeded, &failed = outcomes.failed;
    const qint64 beforeKb = ProcessMemory::residentKb(QCoreApplication::applicationPid());

    const QList<QVariantList> &pages = outcomes.pages;
    QElapsedTimer clock;
    clock.start();
    browser.navigate(toStd(faultUrl(fault)));
    QTRY_COMPARE_WITH_TIMEOUT(succeeded.count() + failed.count(), 1, deadlineMs + 2000);
    const qint64 tookMs = clock.elapsed();
    QVERIFY(!browser.busy());
    QVERIFY2(tookMs < deadlineMs / 2, qPrintable(QString::number(tookMs)));
    const qint64 grownKb = ProcessMemory::residentKb(QCoreApplication::applicationPid()) - beforeKb;
    qInfo("ended after %lld ms, resident memory grew by %lld kB", tookMs, grownKb);
    QVERIFY2(grownKb < 32 * 1024, qPrintable(QString::number(grownKb)));

    const bool succeeds = outcome.isEmpty();
    if (succeeds) {
        QCOMPARE(succeeded.count(), 1);
        QCOMPARE(succeeded.at(0).at(0).toInt(), status);
        QCOMPARE(pages.count(), 1);
    } else {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), status);
        const QString reported = failed.at(0).at(1).toString();
        QVERIFY2(reported.contains(outcome), qPrintable(reported));
        QVERIFY(!updateLog.filter(QStringLiteral("failed: ") + reported).isEmpty());
        // A whole final answer is shown, whatever its status; nothing else is.
        QCOMPARE(pages.count(), status > 0 ? 1 : 0);
    }

    // Whatever the stream was, the next fetch is clean and comes at once, even
    // while the server still writes into the dropped connection.
    browser.navigate(toStd(m_server->url(LoopbackHttpServer::pathFor(Fault::Ok) + Key)));
    QTRY_COMPARE_WITH_TIMEOUT(succeeded.count(), succeeds ? 2 : 1, 3000);
    QCOMPARE(failed.count(), succeeds ? 0 : 1);
    QTRY_COMPARE(m_server->openConnections(), 0);
    checkLogHoldsNoKey();
}

void TestNetworkFaults::newRequestAbandonsHungFault_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::newRow("never answered") << Fault::NeverAnswer;
    QTest::newRow("slow drip") << Fault::Drip;
}

void TestNetworkFaults::newRequestAbandonsHungFault()
{
    QFETCH(Fault, fault);

    // As at a sync: the hung fetch is still within its deadline when the next starts.
    HttpRequestChannel browser;
    ChannelOutcomes outcomes(browser);
    const QList<QVariantList> &succeeded = outcomes.succeeded, &failed = outcomes.failed;

    browser.navigate(toStd(faultUrl(fault)));
    QTRY_COMPARE(m_server->served().size(), 1);
    browser.navigate(toStd(m_server->url(LoopbackHttpServer::pathFor(Fault::Ok) + Key)));
    QTRY_COMPARE_WITH_TIMEOUT(succeeded.count(), 1, 5000);
    QVERIFY(!browser.busy());

    // The abandoned fetch hangs up and never reports.
    QTRY_COMPARE(m_server->hangUps(), 1);
    QTRY_COMPARE(m_server->openConnections(), 0);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(updateLog.filter(QStringLiteral("abandoned for a new one")).size(), 1);
    checkLogHoldsNoKey();
}

void TestNetworkFaults::repeatedFaultsKeepMemoryAndConnectionsBounded()
{
    const QList<Fault> faults = {Fault::ServerError, Fault::EchoingError, Fault::HugeBody,
                                 Fault::HugeStream,  Fault::RedirectLoop, Fault::ResetMidAnswer,
                                 Fault::Refused};
    HttpRequestChannel browser;
    ChannelOutcomes outcomes(browser);
    const QList<QVariantList> &succeeded = outcomes.succeeded, &failed = outcomes.failed;

    auto runRound = [&] {
        for (Fault fault : faults) {
            const qsizetype before = failed.count();
            browser.navigate(toStd(faultUrl(fault)));
            QTRY_COMPARE_WITH_TIMEOUT(failed.count(), before + 1, 8000);
        }
        const qsizetype before = succeeded.count();
        browser.navigate(toStd(m_server->url(LoopbackHttpServer::pathFor(Fault::Ok) + Key)));
        QTRY_COMPARE_WITH_TIMEOUT(succeeded.count(), before + 1, 5000);
    };

    // The first round settles allocator pools and Qt's lazily built state.
    runRound();
    if (QTest::currentTestFailed())
        return;
    const qint64 baselineKb = ProcessMemory::residentKb(QCoreApplication::applicationPid());
    QVERIFY(baselineKb > 0);
    constexpr int Rounds = 8;
    for (int round = 0; round < Rounds; ++round) {
        runRound();
        if (QTest::currentTestFailed())
            return;
    }
    const qint64 grownKb =
        ProcessMemory::residentKb(QCoreApplication::applicationPid()) - baselineKb;
    qInfo("resident memory grew by %lld kB over %d rounds", grownKb, Rounds);
    // Each round moves over 10 MB of answers; anything kept would show.
    QVERIFY2(grownKb < 20 * 1024, qPrintable(QString::number(grownKb)));

    QCOMPARE(failed.count(), qsizetype(faults.size() * (Rounds + 1)));
    QTRY_COMPARE(m_server->openConnections(), 0);
    QVERIFY(m_server->peakOpenConnections() <= 2);
    checkLogHoldsNoKey();
}

QTEST_GUILESS_MAIN(TestNetworkFaults)
#include "tst_networkfaults.moc"
