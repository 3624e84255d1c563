#include "update/TickPlan.h"

#include <QtTest>

class tst_TickPlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ticksDue_data()
    {
        QTest::addColumn<qint64>("last");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("same instant") << qint64(5000) << qint64(5000) << qint64(0);
        QTest::newRow("just before the next") << qint64(5000) << qint64(5999) << qint64(0);
        QTest::newRow("on the next") << qint64(5000) << qint64(6000) << qint64(1);
        QTest::newRow("a minute") << qint64(5000) << qint64(65500) << qint64(60);
        QTest::newRow("clock behind") << qint64(5000) << qint64(4000) << qint64(0);
    }
    void ticksDue()
    {
        QFETCH(qint64, last);
        QFETCH(qint64, now);
        QFETCH(qint64, expected);
        QCOMPARE(TickPlan::ticksDue(last, now, 1000), expected);
    }

    void nextWake_data()
    {
        QTest::addColumn<std::optional<qint64>>("ticksUntilSync");
        QTest::addColumn<std::optional<qint64>>("retryDue");
        QTest::addColumn<bool>("catchUp");
        QTest::addColumn<qint64>("expected");
        const std::optional<qint64> none;
        QTest::newRow("sync soon") << std::optional<qint64>(5) << none << false << qint64(15000);
        QTest::newRow("sync far: wake within a minute")
            << std::optional<qint64>(301) << none << false << qint64(70000);
        QTest::newRow("paused count: wake within a minute")
            << none << none << false << qint64(70000);
        QTest::newRow("retry between ticks waits for the next tick")
            << std::optional<qint64>(301) << std::optional<qint64>(12500) << false << qint64(13000);
        QTest::newRow("retry on a tick")
            << std::optional<qint64>(301) << std::optional<qint64>(13000) << false << qint64(13000);
        QTest::newRow("overdue retry: next tick")
            << std::optional<qint64>(301) << std::optional<qint64>(2000) << false << qint64(11000);
        QTest::newRow("sync before retry")
            << std::optional<qint64>(3) << std::optional<qint64>(40000) << false << qint64(13000);
        QTest::newRow("catch-up") << std::optional<qint64>(301) << none << true << qint64(11000);
        QTest::newRow("sync due now") << std::optional<qint64>(0) << none << false << qint64(11000);
    }
    void nextWake()
    {
        QFETCH(std::optional<qint64>, ticksUntilSync);
        QFETCH(std::optional<qint64>, retryDue);
        QFETCH(bool, catchUp);
        QFETCH(qint64, expected);
        QCOMPARE(TickPlan::nextWakeMs(10000, 1000, ticksUntilSync, retryDue, catchUp), expected);
    }
};

QTEST_GUILESS_MAIN(tst_TickPlan)
#include "tst_tickplan.moc"
