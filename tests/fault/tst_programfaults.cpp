#include "LoopbackHttpServer.h"
#include "ProcessMemory.h"
#include "ProgramRun.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Fault = LoopbackHttpServer::Fault;
Q_DECLARE_METATYPE(LoopbackHttpServer::Fault)

namespace {

const QString Key = QStringLiteral("Rk5-program-fault-key-Wq31");

// TavrinTime half a minute, the shortest: a sync every 30 s, counted in
// one-second ticks, so one sync starts every 31 s; on the test build 7.75 times
// as fast, every 4 s.
const QString Interval = QStringLiteral("0.5");
constexpr double TimeScale = 7.75;
constexpr qint64 SyncPeriodMs = 4000;
constexpr qint64 SlackMs = 1500;
constexpr qint64 MinimumRunMs = 30000;
constexpr qint64 LongestRunMs = 55000;
constexpr qint64 MemoryGrowthLimitKb = 20 * 1024;

// One request as the program's log tells it: its start and how it ended.
struct Attempt
{
    qint64 startMs;
    QString outcome; // the log line that ended it; empty while it was still open
};

QList<Attempt> attemptsFrom(const QList<ProgramRun::LogLine> &lines, quint16 port)
{
    const QString target = QStringLiteral("request to http://127.0.0.1:%1").arg(port);
    const QRegularExpression start(QStringLiteral("^tavrin\\.update: ") +
                                   QRegularExpression::escape(target) + QStringLiteral("$"));
    const QRegularExpression end(QStringLiteral("^tavrin\\.update: ") +
                                 QRegularExpression::escape(target) +
                                 QStringLiteral(" (succeeded|failed|abandoned|stopped)"));
    QList<Attempt> attempts;
    for (const ProgramRun::LogLine &line : lines) {
        if (start.match(line.text).hasMatch())
            attempts.append({line.atMs, QString()});
        else if (end.match(line.text).hasMatch() && !attempts.isEmpty() &&
                 attempts.last().outcome.isEmpty())
            attempts.last().outcome = line.text;
    }
    return attempts;
}

// Whether the way a request ended fits the fault the server gave it.
bool outcomeFits(Fault fault, const QString &outcome)
{
    switch (fault) {
    case Fault::Ok:
        return outcome.contains(QLatin1String("succeeded: HTTP 200"));
    case Fault::ServerError:
        return outcome.contains(QLatin1String("failed: HTTP 500"));
    case Fault::EchoingError:
        return outcome.contains(QLatin1String("failed: HTTP 404"));
    case Fault::NeverAnswer:
    case Fault::Drip:
        // A new sync abandons the hung request, unless its deadline came first.
        return outcome.contains(QLatin1String("abandoned for a new one")) ||
               outcome.contains(QLatin1String("failed: no answer within"));
    case Fault::HugeBody:
    case Fault::HugeStream:
        return outcome.contains(QLatin1String("failed: answer too large"));
    case Fault::RedirectLoop:
        return outcome.contains(QLatin1String("failed: too many redirects"));
    case Fault::ResetMidAnswer:
        return outcome.contains(QLatin1String("failed: "));
    case Fault::Refused:
        return outcome.contains(QLatin1String("failed: connection refused"));
    case Fault::NestedTables:
    case Fault::DeepTables:
        return outcome.contains(QLatin1String("succeeded: HTTP 200"));
    case Fault::InterimThenError:
        return outcome.contains(QLatin1String("failed: HTTP 500"));
    case Fault::CutChunked:
        return outcome.contains(QLatin1String("failed: answer cut short"));
    case Fault::GzipBomb:
    case Fault::DeflateBomb:
    case Fault::OversizedChunk:
        return outcome.contains(QLatin1String("failed: answer too large"));
    case Fault::DamagedGzip:
        return outcome.contains(QLatin1String("failed: compressed answer damaged"));
    case Fault::EndlessHeader:
    case Fault::Garbage:
        return outcome.contains(QLatin1String("failed: invalid answer"));
    }
    return false;
}

} // namespace

class TestProgramFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keepsSyncingThroughFaults_data();
    void keepsSyncingThroughFaults();
};

void TestProgramFaults::keepsSyncingThroughFaults_data()
{
    QTest::addColumn<QList<Fault>>("cycle");
    QTest::newRow("network faults")
        << QList<Fault>{Fault::Ok,           Fault::ServerError,  Fault::Refused,
                        Fault::NeverAnswer,  Fault::Drip,         Fault::HugeStream,
                        Fault::EchoingError, Fault::RedirectLoop, Fault::ResetMidAnswer};
    QTest::newRow("hostile answers") << QList<Fault>{
        Fault::Ok,         Fault::NestedTables, Fault::DeepTables, Fault::InterimThenError,
        Fault::CutChunked, Fault::GzipBomb,     Fault::DeflateBomb};
    // Long enough that the closing success comes after the shortest run.
    QTest::newRow("broken framing") << QList<Fault>{
        Fault::Ok,          Fault::EndlessHeader,    Fault::Garbage,    Fault::OversizedChunk,
        Fault::DamagedGzip, Fault::InterimThenError, Fault::CutChunked, Fault::ServerError};
}

void TestProgramFaults::keepsSyncingThroughFaults()
{
    QFETCH(QList<Fault>, cycle);
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    // Closed from just after the 500 until half-way between the next two syncs.
    server.setCycle(cycle, int(SyncPeriodMs * 3 / 2));

    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    QVERIFY(
        ProgramRun::seedSettings(configHome.path(), server.url(QLatin1Char('/') + Key), Interval));

    ProgramRun program(configHome.path());
    program.setTimeScale(TimeScale);
    QVERIFY2(program.start(), qPrintable(ProgramRun::programPath()));

    qint64 baselineKb = -1;
    qint64 peakKb = -1;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        const qint64 kb = ProcessMemory::residentKb(program.pid());
        if (kb < 0)
            return;
        // Measured from the end of start-up: the first request has ended.
        if (baselineKb < 0) {
            const QList<Attempt> attempts = attemptsFrom(program.lines(), server.port());
            if (!attempts.isEmpty() && !attempts.first().outcome.isEmpty())
                baselineKb = kb;
        }
        peakKb = qMax(peakKb, kb);
    });
    sampler.start(500);

    // Runs until every fault was met and a success came after the last one.
    auto cycleDone = [&] {
        int last = -1;
        const QList<LoopbackHttpServer::Served> served = server.served();
        for (int i = 0; i < served.size(); ++i) {
            if (served.at(i).fault == cycle.last())
                last = i;
        }
        if (last < 0)
            return false;
        const QList<Attempt> attempts = attemptsFrom(program.lines(), server.port());
        return served.size() > last + 1 && served.at(last + 1).fault == Fault::Ok &&
               !attempts.isEmpty() && attempts.last().outcome.contains(QLatin1String("succeeded"));
    };
    // Either wait may end early; what happened is checked below.
    static_cast<void>(
        QTest::qWaitFor([&] { return !program.isRunning() || cycleDone(); }, int(LongestRunMs)));
    static_cast<void>(QTest::qWaitFor([&] { return !program.isRunning(); },
                                      int(qMax<qint64>(0, MinimumRunMs - program.msSinceStart()))));
    sampler.stop();
    const bool survived = program.isRunning();
    const qint64 ranMs = program.msSinceStart();
    program.stop();

    QVERIFY2(!program.output().contains(Key.toUtf8()), "the key appeared in the program's output");
    QVERIFY2(survived, program.output().right(4000).constData());
    QVERIFY2(cycleDone(), program.output().right(4000).constData());

    // Syncs on time, even while a fault hangs.
    const QList<Attempt> attempts = attemptsFrom(program.lines(), server.port());
    QVERIFY(!attempts.isEmpty());
    QVERIFY2(attempts.first().startMs < 5000,
             qPrintable(QString::number(attempts.first().startMs)));
    for (int i = 1; i < attempts.size(); ++i) {
        const qint64 gap = attempts.at(i).startMs - attempts.at(i - 1).startMs;
        QVERIFY2(gap <= SyncPeriodMs + SlackMs,
                 qPrintable(
                     QStringLiteral("%1 ms between request %2 and %3").arg(gap).arg(i - 1).arg(i)));
    }
    QVERIFY(attempts.size() >= int(ranMs / SyncPeriodMs));

    // Each request ended the way its fault calls for, and every failure was logged.
    QList<LoopbackHttpServer::Served> reached;
    for (const LoopbackHttpServer::Served &served : server.served()) {
        if (!served.target.startsWith("/loop/"))
            reached.append(served);
    }
    const bool refusing = cycle.contains(Fault::Refused);
    QVERIFY(!refusing || server.refusedWindows() >= 1);
    int refused = 0;
    int next = 0;
    QSet<Fault> met;
    for (const Attempt &attempt : attempts) {
        if (refusing && outcomeFits(Fault::Refused, attempt.outcome)) {
            qInfo("%6lld ms  %-26s %s", attempt.startMs,
                  qPrintable(LoopbackHttpServer::nameOf(Fault::Refused)),
                  qPrintable(attempt.outcome.section(QLatin1Char(' '), 4)));
            ++refused;
            met.insert(Fault::Refused);
            continue;
        }
        QVERIFY2(next < reached.size(), "the program logged a request the server never saw");
        const Fault fault = reached.at(next++).fault;
        met.insert(fault);
        qInfo("%6lld ms  %-26s %s", attempt.startMs, qPrintable(LoopbackHttpServer::nameOf(fault)),
              qPrintable(attempt.outcome.section(QLatin1Char(' '), 4)));
        if (attempt.outcome.isEmpty() && &attempt == &attempts.last())
            continue; // the program was stopped while it waited
        QVERIFY2(outcomeFits(fault, attempt.outcome),
                 qPrintable(LoopbackHttpServer::nameOf(fault) + QStringLiteral(" ended as: ") +
                            attempt.outcome));
    }
    QCOMPARE(next, reached.size());
    QVERIFY(!refusing || refused >= 1);
    for (Fault fault : cycle)
        QVERIFY2(met.contains(fault), qPrintable(LoopbackHttpServer::nameOf(fault)));

    // Abandoned requests hang up rather than pile up.
    QVERIFY2(server.peakOpenConnections() <= 3,
             qPrintable(QString::number(server.peakOpenConnections())));

    QVERIFY(baselineKb > 0);
    qInfo("ran %lld ms, %d requests; resident memory %lld kB after start, peak %lld kB", ranMs,
          int(attempts.size()), baselineKb, peakKb);
    QVERIFY2(peakKb - baselineKb < MemoryGrowthLimitKb,
             qPrintable(QStringLiteral("grew by %1 kB").arg(peakKb - baselineKb)));
}

QTEST_GUILESS_MAIN(TestProgramFaults)
#include "tst_programfaults.moc"
