#include "update/RetrySchedule.h"

#include <QTest>

#include <optional>

namespace {
constexpr qint64 Second = 1000;
constexpr qint64 Minute = 60 * Second;
constexpr qint64 Start = 5000000; // any point on the clock
} // namespace

class TestRetrySchedule : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ladder();
    void dueExactlyAtItsTime();
    void stopsAtFirstSuccess();
    void neverAtOrAfterNextSync_data();
    void neverAtOrAfterNextSync();
    void syncOrOkDropsPendingButKeepsLadder();
};

// Each retry fails in turn: 30 s, 1, 2, 4, 8 min, then every 8 min, each
// counted from the failure before it.
void TestRetrySchedule::ladder()
{
    const QList<qint64> delays = {30 * Second, 1 * Minute, 2 * Minute, 4 * Minute,
                                  8 * Minute,  8 * Minute, 8 * Minute};
    RetrySchedule schedule;
    qint64 now = Start;
    schedule.requestFailed(now, std::nullopt);
    for (int i = 0; i < delays.size(); ++i) {
        QCOMPARE(schedule.nextRetryDueMs(), std::optional<qint64>(now + delays.at(i)));
        now += delays.at(i);
        QVERIFY(schedule.isDue(now));
        schedule.requestSent();
        QVERIFY(!schedule.isDue(now));
        QCOMPARE(schedule.nextRetryDueMs(), std::nullopt);
        schedule.requestFailed(now, std::nullopt);
        QCOMPARE(schedule.failuresInARow(), i + 2);
    }
}

void TestRetrySchedule::dueExactlyAtItsTime()
{
    RetrySchedule schedule;
    QVERIFY(!schedule.isDue(Start));
    schedule.requestFailed(Start, std::nullopt);
    QVERIFY(!schedule.isDue(Start));
    QVERIFY(!schedule.isDue(Start + 30 * Second - 1));
    QVERIFY(schedule.isDue(Start + 30 * Second));
    QVERIFY(schedule.isDue(Start + 3 * Minute)); // a late tick still sends it
}

void TestRetrySchedule::stopsAtFirstSuccess()
{
    RetrySchedule schedule;
    schedule.requestFailed(Start, std::nullopt);
    schedule.requestSent();
    schedule.requestFailed(Start + 30 * Second, std::nullopt);
    schedule.requestSucceeded();
    QCOMPARE(schedule.nextRetryDueMs(), std::nullopt);
    QVERIFY(!schedule.isDue(Start + Minute * 60));
    QCOMPARE(schedule.failuresInARow(), 0);
    // The next failure starts over at 30 s.
    schedule.requestFailed(Start + 2 * Minute, std::nullopt);
    QCOMPARE(schedule.nextRetryDueMs(), std::optional<qint64>(Start + 2 * Minute + 30 * Second));
}

void TestRetrySchedule::neverAtOrAfterNextSync_data()
{
    QTest::addColumn<int>("earlierFailures");
    QTest::addColumn<qint64>("untilSync");
    QTest::addColumn<bool>("scheduled");
    QTest::newRow("30 s before a sync in 31 s") << 0 << 31 * Second << true;
    QTest::newRow("30 s with the sync at the same time") << 0 << 30 * Second << false;
    QTest::newRow("30 s after a sync in 10 s") << 0 << 10 * Second << false;
    QTest::newRow("8 min within a 10 min interval") << 4 << 10 * Minute << true;
    QTest::newRow("8 min past a 5 min interval") << 4 << 5 * Minute << false;
    QTest::newRow("2 min past a 1 min interval") << 2 << 1 * Minute << false;
}

void TestRetrySchedule::neverAtOrAfterNextSync()
{
    QFETCH(int, earlierFailures);
    QFETCH(qint64, untilSync);
    QFETCH(bool, scheduled);
    RetrySchedule schedule;
    for (int i = 0; i < earlierFailures; ++i)
        schedule.requestFailed(Start, std::nullopt);
    schedule.requestFailed(Start, Start + untilSync);
    QCOMPARE(schedule.nextRetryDueMs().has_value(), scheduled);
    if (scheduled)
        QVERIFY(*schedule.nextRetryDueMs() < Start + untilSync);
    // The ladder moves on either way: the sync's own failure is the next step.
    QCOMPARE(schedule.failuresInARow(), earlierFailures + 1);
}

void TestRetrySchedule::syncOrOkDropsPendingButKeepsLadder()
{
    RetrySchedule schedule;
    schedule.requestFailed(Start, std::nullopt);
    schedule.requestSent();
    schedule.requestFailed(Start + 30 * Second, std::nullopt); // 1 min pending
    schedule.requestSent();                                    // a sync or OK goes out instead
    QCOMPARE(schedule.nextRetryDueMs(), std::nullopt);
    QVERIFY(!schedule.isDue(Start + Minute * 60));
    // That request failed too: 2 min, not 30 s again.
    const qint64 failedAt = Start + 40 * Second;
    schedule.requestFailed(failedAt, std::nullopt);
    QCOMPARE(schedule.nextRetryDueMs(), std::optional<qint64>(failedAt + 2 * Minute));
}

QTEST_GUILESS_MAIN(TestRetrySchedule)
#include "tst_retryschedule.moc"
