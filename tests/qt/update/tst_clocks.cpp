#include "qt/update/BootTimer.h"
#include "update/ScaledClock.h"

#include "FakeClock.h"

#include <QElapsedTimer>
#include <QTest>

class TestClocks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scaledRunsFaster_data();
    void scaledRunsFaster();
    void changingFactorKeepsTimeContinuous();
    void bootClockFollowsRealTime();
};

void TestClocks::scaledRunsFaster_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<qint64>("baseStep");
    QTest::addColumn<qint64>("scaledStep");
    QTest::newRow("1") << 1.0 << qint64(3000) << qint64(3000);
    QTest::newRow("10") << 10.0 << qint64(3000) << qint64(30000);
    QTest::newRow("2.5") << 2.5 << qint64(1000) << qint64(2500);
    QTest::newRow("0.5") << 0.5 << qint64(1000) << qint64(500);
    QTest::newRow("zero counts as 1") << 0.0 << qint64(1000) << qint64(1000);
    QTest::newRow("negative counts as 1") << -4.0 << qint64(1000) << qint64(1000);
    QTest::newRow("NaN counts as 1") << qQNaN() << qint64(1000) << qint64(1000);
    QTest::newRow("infinity counts as 1") << qInf() << qint64(1000) << qint64(1000);
}

void TestClocks::scaledRunsFaster()
{
    QFETCH(double, factor);
    QFETCH(qint64, baseStep);
    QFETCH(qint64, scaledStep);
    FakeClock base(777000);
    ScaledClock scaled(base, factor);
    const qint64 start = scaled.nowMs();
    base.advance(baseStep);
    QCOMPARE(scaled.nowMs() - start, scaledStep);
    base.advance(baseStep);
    QCOMPARE(scaled.nowMs() - start, 2 * scaledStep);
}

void TestClocks::changingFactorKeepsTimeContinuous()
{
    FakeClock base(0);
    ScaledClock scaled(base);
    base.advance(5000);
    QCOMPARE(scaled.nowMs(), 5000);
    scaled.setFactor(10);
    QCOMPARE(scaled.nowMs(), 5000);
    base.advance(100);
    QCOMPARE(scaled.nowMs(), 6000);
    scaled.setFactor(1);
    base.advance(100);
    QCOMPARE(scaled.nowMs(), 6100);
}

void TestClocks::bootClockFollowsRealTime()
{
    BootClock clock;
    QElapsedTimer elapsed;
    const qint64 start = clock.nowMs();
    elapsed.start();
    QTest::qWait(50);
    const qint64 passed = clock.nowMs() - start;
    // Without a suspend in between, it keeps pace with the monotonic clock.
    QVERIFY2(qAbs(passed - elapsed.elapsed()) <= 5, qPrintable(QString::number(passed)));
    QVERIFY(passed >= 50);
}

QTEST_GUILESS_MAIN(TestClocks)
#include "tst_clocks.moc"
