#include "LoopbackHttpServer.h"
#include "PrivateBus.h"
#include "ProgramRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <signal.h>

namespace {

const QString Key = QStringLiteral("Zt8-instance-fault-key-Pq07");

} // namespace

// The real program on a session bus of the test's own: a copy that crashed or
// hangs never keeps a start from running, and one name never runs twice.
class TestInstanceFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<PrivateBus> m_bus;
    LoopbackHttpServer m_server;

    std::unique_ptr<ProgramRun> startRun(const QString &busAddress)
    {
        auto run = std::make_unique<ProgramRun>(m_home->path());
        run->setBusAddress(busAddress);
        return run->start() ? std::move(run) : nullptr;
    }

    // The program puts up its icon and sends its request. The offscreen
    // platform has no tray, so the program waits for one there.
    void verifyRuns(ProgramRun &run)
    {
        const int before = int(m_server.served().size());
        QVERIFY2(run.waitForLine(QStringLiteral("tavrin.app: started;"), 10000),
                 run.output().constData());
        QVERIFY2(run.output().contains("tavrin.tray: Tray icon added") ||
                     run.output().contains("tavrin.app: no system tray yet"),
                 run.output().constData());
        QVERIFY2(QTest::qWaitFor([&] { return m_server.served().size() > before; }, 10000),
                 run.output().constData());
        QVERIFY2(!run.output().contains(Key.toUtf8()), "the key appeared in the log");
    }

    // A later start asks the running copy to show its window and ends.
    void verifyHandsOverTo(ProgramRun &running)
    {
        const auto later = startRun(m_bus->address());
        QVERIFY(later);
        QVERIFY2(later->waitForEnd(10000), later->output().constData());
        QVERIFY(later->hasLine(QStringLiteral("asked it to show its window")));
        QVERIFY(!later->hasLine(QStringLiteral("started;")));
        QVERIFY2(
            running.waitForLine(QStringLiteral("a later start asks to show the window"), 10000),
            running.output().constData());
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(m_home->isValid() && !m_bus->address().isEmpty());
        if (!m_server.isListening())
            QVERIFY(m_server.listen());
        QVERIFY(ProgramRun::seedSettings(m_home->path(), m_server.url(QLatin1Char('/') + Key),
                                         QStringLiteral("5")));
    }

    void cleanup() { m_bus.reset(); }

    void crashedOrHungOwnerDoesNotBlock_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("crashed (SIGKILL)") << int(SIGKILL);
        QTest::newRow("hung (SIGSTOP)") << int(SIGSTOP);
    }

    void crashedOrHungOwnerDoesNotBlock()
    {
        QFETCH(int, signal);
        const auto first = startRun(m_bus->address());
        QVERIFY(first);
        verifyRuns(*first);
        QVERIFY(::kill(pid_t(first->pid()), signal) == 0);

        const auto next = startRun(m_bus->address());
        QVERIFY(next);
        verifyRuns(*next);
        const bool hung = signal == SIGSTOP;
        QCOMPARE(next->hasLine(QStringLiteral("did not answer within 1000 ms")), hung);
        if (hung) {
            // Resumed, the replaced copy ends as closing its window would, settings kept.
            QVERIFY(::kill(pid_t(first->pid()), SIGCONT) == 0);
            QVERIFY2(first->waitForEnd(10000), first->output().constData());
            QVERIFY(first->hasLine(QStringLiteral("took the instance name over")));
            QFile settings(ProgramRun::settingsPath(m_home->path()));
            QVERIFY(settings.open(QIODevice::ReadOnly) &&
                    settings.readAll().contains(Key.toUtf8()));
        }
        verifyHandsOverTo(*next);
    }

    void withoutABusRunsUnguarded_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("why");
        QTest::newRow("no address") << QString() << "no session bus";
        QTest::newRow("unreachable") << "unix:path=/nonexistent/tavrin-bus"
                                     << "cannot reach the session bus";
    }

    void withoutABusRunsUnguarded()
    {
        QFETCH(QString, address);
        QFETCH(QString, why);
        const auto run = startRun(address);
        QVERIFY(run);
        verifyRuns(*run);
        QVERIFY2(run->hasLine(why), run->output().constData());
        QCOMPARE(run->output().count("running unguarded"), 1);
    }
};

QTEST_GUILESS_MAIN(TestInstanceFaults)
#include "tst_instancefaults.moc"
