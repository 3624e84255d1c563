#include "qt/update/BootTimer.h"

#include "FakeClock.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

// The wake timer on the boot-time clock, with real timerfds and short waits.
// The clock stands still, so each schedule's deadline is "now" plus the time
// given, in real time divided by the time scale.
class tst_BootTimer : public QObject
{
    Q_OBJECT

private:
    // Every file descriptor the process may open is taken while this lives.
    class DescriptorsUsedUp
    {
    public:
        DescriptorsUsedUp()
        {
            getrlimit(RLIMIT_NOFILE, &m_limit);
            rlimit low = m_limit;
            low.rlim_cur = std::min<rlim_t>(m_limit.rlim_cur, 64);
            setrlimit(RLIMIT_NOFILE, &low);
            for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
                m_fds.push_back(fd);
        }
        ~DescriptorsUsedUp()
        {
            for (int fd : m_fds)
                ::close(fd);
            setrlimit(RLIMIT_NOFILE, &m_limit);
        }

    private:
        rlimit m_limit{};
        std::vector<int> m_fds;
    };

    struct Fixture
    {
        FakeClock clock;
        int fired = 0;
        BootTimer timer{clock, [this] { ++fired; }};
    };

    // Waits for the first firing; the real milliseconds it took from started.
    static qint64 waitForFiring(const Fixture &f, const QElapsedTimer &started)
    {
        QElapsedTimer give;
        give.start();
        while (f.fired == 0 && give.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        return f.fired ? started.elapsed() : -1;
    }

private Q_SLOTS:
    void firesAtTheDeadline_data()
    {
        QTest::addColumn<qint64>("inMs");   // on the clock
        QTest::addColumn<double>("scale");  // clock against real time
        QTest::addColumn<qint64>("realMs"); // expected wait
        QTest::newRow("80 ms") << qint64(80) << 1.0 << qint64(80);
        QTest::newRow("400 ms of a clock five times as fast") << qint64(400) << 5.0 << qint64(80);
        QTest::newRow("passed: at once") << qint64(-5000) << 1.0 << qint64(0);
        QTest::newRow("passed, scaled: at once") << qint64(-5000) << 5.0 << qint64(0);
    }
    void firesAtTheDeadline()
    {
        QFETCH(qint64, inMs);
        QFETCH(double, scale);
        QFETCH(qint64, realMs);
        Fixture f;
        QVERIFY(f.timer.countsSuspend());
        f.timer.setTimeScale(scale);
        QElapsedTimer started;
        started.start();
        f.timer.schedule(f.clock.ms + inMs);
        QVERIFY(f.timer.isActive());
        QVERIFY(f.timer.remainingMs() <= realMs);
        QVERIFY(f.timer.remainingMs() >= realMs - 20);

        const qint64 took = waitForFiring(f, started);
        QVERIFY(took >= realMs);
        // Generous: the machine runs other work beside the test.
        QVERIFY2(took < realMs + 1000, qPrintable(QString::number(took)));
        QVERIFY(!f.timer.isActive());
        QCOMPARE(f.timer.remainingMs(), qint64(-1));
        QTest::qWait(50);
        QCOMPARE(f.fired, 1);
    }

    void rescheduleReplaces_data()
    {
        QTest::addColumn<qint64>("firstMs");
        QTest::addColumn<qint64>("secondMs");
        QTest::newRow("earlier by later") << qint64(30) << qint64(150);
        QTest::newRow("later by earlier") << qint64(10000) << qint64(30);
        QTest::newRow("passed, not yet delivered, by later") << qint64(-1000) << qint64(100);
    }
    void rescheduleReplaces()
    {
        QFETCH(qint64, firstMs);
        QFETCH(qint64, secondMs);
        Fixture f;
        QElapsedTimer started;
        started.start();
        f.timer.schedule(f.clock.ms + firstMs);
        f.timer.schedule(f.clock.ms + secondMs);
        const qint64 took = waitForFiring(f, started);
        QVERIFY2(took >= secondMs && took < secondMs + 1000, qPrintable(QString::number(took)));
        QTest::qWait(50);
        QCOMPARE(f.fired, 1);
    }

    void cancelStops_data()
    {
        QTest::addColumn<qint64>("inMs");
        QTest::newRow("armed") << qint64(30);
        QTest::newRow("passed, not yet delivered") << qint64(-1000);
    }
    void cancelStops()
    {
        QFETCH(qint64, inMs);
        Fixture f;
        f.timer.schedule(f.clock.ms + inMs);
        f.timer.cancel();
        QVERIFY(!f.timer.isActive());
        QTest::qWait(int(std::max<qint64>(inMs, 0)) + 100);
        QCOMPARE(f.fired, 0);
        // Still usable afterwards.
        QElapsedTimer started;
        started.start();
        f.timer.schedule(f.clock.ms + 20);
        QVERIFY(waitForFiring(f, started) >= 20);
    }

    void withoutTimerfdWakesWithinAMinute()
    {
        std::optional<Fixture> f;
        {
            DescriptorsUsedUp full;
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^timerfd_create .*failed"));
            f.emplace();
            // Said once, not for every timer.
            QTest::failOnWarning(QRegularExpression("timerfd"));
            Fixture another;
            QVERIFY(!another.timer.countsSuspend());
        }
        QVERIFY(!f->timer.countsSuspend());
        f->timer.schedule(f->clock.ms + 10 * 60 * 1000);
        QVERIFY(f->timer.remainingMs() <= 60 * 1000);
        QVERIFY(f->timer.remainingMs() > 50 * 1000);
        f->timer.cancel();
        QVERIFY(!f->timer.isActive());
        QElapsedTimer started;
        started.start();
        f->timer.schedule(f->clock.ms + 30);
        QVERIFY(waitForFiring(*f, started) >= 29);
    }
};

QTEST_GUILESS_MAIN(tst_BootTimer)
#include "tst_boottimer.moc"
