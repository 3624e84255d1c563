#include "update/SyncCountdown.h"

#include <QTest>

using Step = SyncCountdown::Step;

class TestSyncCountdown : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captions_data();
    void captions();
    void cycle_data();
    void cycle();
    void intervalChangedMidCount_data();
    void intervalChangedMidCount();
    void unusableIntervalPauses_data();
    void unusableIntervalPauses();
    void longRun_data();
    void longRun();
    void ticksUntilSyncMatchesTicks_data();
    void ticksUntilSyncMatchesTicks();
};

void TestSyncCountdown::captions_data()
{
    QTest::addColumn<qint64>("secondsLeft");
    QTest::addColumn<QString>("caption");
    QTest::newRow("zero") << qint64(0) << "Count-Down: 0Sec.";
    QTest::newRow("no group separator") << qint64(35999) << "Count-Down: 35999Sec.";
    QTest::newRow("negative") << qint64(-3) << "Count-Down: -3Sec.";
    QTest::newRow("beyond 32 bits") << qint64(600000000000000) << "Count-Down: 600000000000000Sec.";
}

void TestSyncCountdown::captions()
{
    QFETCH(qint64, secondsLeft);
    QFETCH(QString, caption);
    // A German default locale would group digits if the caption followed it.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString shown = SyncCountdown::countdownCaption(secondsLeft);
    QLocale::setDefault(saved);
    QCOMPARE(shown, caption);
    QCOMPARE(SyncCountdown::syncCaption(), QStringLiteral("KORLA DNS Conector SYNC"));
}

void TestSyncCountdown::cycle_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<qint64>("target");

    const QLocale de(QLocale::German, QLocale::Germany);
    QTest::newRow("5 minutes") << "5" << de << qint64(300);
    QTest::newRow("german 1,5") << "1,5" << de << qint64(90);
    QTest::newRow("c form 1.5 under german") << "1.5" << de << qint64(90);
    QTest::newRow("1.5 under c") << "1.5" << QLocale::c() << qint64(90);
    QTest::newRow("german 0,01") << "0,01" << de << qint64(1);
    QTest::newRow("600 minutes") << "600" << de << qint64(36000);
}

// Two full cycles: captions T-1 … 0, SyncDue on tick T+1, and the second cycle
// after syncDone() exactly like the first.
void TestSyncCountdown::cycle()
{
    QFETCH(QString, text);
    QFETCH(QLocale, locale);
    QFETCH(qint64, target);

    SyncCountdown countdown(locale);
    QCOMPARE(countdown.caption(), QString());
    QCOMPARE(countdown.tickCount(), qint64(0));

    for (int round = 0; round < 2; ++round) {
        for (qint64 tick = 1; tick <= target; ++tick) {
            if (countdown.tick(text) != Step::Counted)
                QFAIL(qPrintable(
                    QStringLiteral("round %1 tick %2 not counted").arg(round).arg(tick)));
            if (countdown.caption() != SyncCountdown::countdownCaption(target - tick))
                QFAIL(qPrintable(QStringLiteral("round %1 tick %2: %3")
                                     .arg(round)
                                     .arg(tick)
                                     .arg(countdown.caption())));
        }
        QCOMPARE(countdown.caption(), QStringLiteral("Count-Down: 0Sec."));
        QCOMPARE(countdown.tickCount(), target);
        QCOMPARE(countdown.tick(text), Step::SyncDue);
        QCOMPARE(countdown.caption(), QStringLiteral("Count-Down: 0Sec."));
        QCOMPARE(countdown.tickCount(), target);

        countdown.syncDone();
        QCOMPARE(countdown.caption(), QStringLiteral("KORLA DNS Conector SYNC"));
        QCOMPARE(countdown.tickCount(), qint64(0));
    }
}

void TestSyncCountdown::intervalChangedMidCount_data()
{
    QTest::addColumn<int>("ticksCounted");
    QTest::addColumn<QString>("newText");
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("caption");

    QTest::newRow("lowered below count") << 200 << "1" << Step::SyncDue << "Count-Down: 100Sec.";
    QTest::newRow("lowered to count") << 120 << "2" << Step::SyncDue << "Count-Down: 180Sec.";
    QTest::newRow("lowered above count") << 50 << "1" << Step::Counted << "Count-Down: 9Sec.";
    QTest::newRow("raised") << 200 << "10" << Step::Counted << "Count-Down: 399Sec.";
}

void TestSyncCountdown::intervalChangedMidCount()
{
    QFETCH(int, ticksCounted);
    QFETCH(QString, newText);
    QFETCH(Step, step);
    QFETCH(QString, caption);

    SyncCountdown countdown(QLocale::c());
    for (int i = 0; i < ticksCounted; ++i)
        QCOMPARE(countdown.tick("5"), Step::Counted);

    QCOMPARE(countdown.tick(newText), step);
    QCOMPARE(countdown.caption(), caption);
}

void TestSyncCountdown::unusableIntervalPauses_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "abc";
    QTest::newRow("zero") << "0";
    QTest::newRow("negative") << "-1";
    QTest::newRow("too large") << "1e308";
    QTest::newRow("inf") << "inf";
}

void TestSyncCountdown::unusableIntervalPauses()
{
    QFETCH(QString, text);
    const QLocale de(QLocale::German, QLocale::Germany);

    // From the start: nothing counts and no caption appears.
    SyncCountdown fresh(de);
    QCOMPARE(fresh.tick(text), Step::Paused);
    QCOMPARE(fresh.tickCount(), qint64(0));
    QCOMPARE(fresh.caption(), QString());

    // Mid-count: count and caption freeze, then carry on once the text is fixed.
    SyncCountdown countdown(de);
    for (int i = 0; i < 10; ++i)
        countdown.tick("5");
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(countdown.tick(text), Step::Paused);
        QCOMPARE(countdown.tickCount(), qint64(10));
        QCOMPARE(countdown.caption(), QStringLiteral("Count-Down: 290Sec."));
    }
    QCOMPARE(countdown.tick("5"), Step::Counted);
    QCOMPARE(countdown.caption(), QStringLiteral("Count-Down: 289Sec."));

    // At the moment a sync is due, an unusable text holds it back.
    SyncCountdown due(de);
    QCOMPARE(due.tick("0,01"), Step::Counted);
    QCOMPARE(due.tick(text), Step::Paused);
    QCOMPARE(due.tick("0,01"), Step::SyncDue);
}

void TestSyncCountdown::longRun_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qint64>>("syncTicks");
    QTest::addColumn<qint64>("finalCount");

    // Nine days of ticks. 1000 minutes = 60000 s, so every 60001st tick is due.
    QList<qint64> every60001;
    for (qint64 k = 1; k <= 12; ++k)
        every60001 << k * 60001;
    QTest::newRow("1000 minutes") << "1000" << every60001 << qint64(777600 - 12 * 60001);
    QTest::newRow("longer than the run") << "20000" << QList<qint64>() << qint64(777600);
}

void TestSyncCountdown::longRun()
{
    QFETCH(QString, text);
    QFETCH(QList<qint64>, syncTicks);
    QFETCH(qint64, finalCount);

    const qint64 nineDays = 9 * 24 * 60 * 60;
    SyncCountdown countdown(QLocale::c());
    QList<qint64> seen;
    for (qint64 tick = 1; tick <= nineDays; ++tick) {
        if (countdown.tick(text) == Step::SyncDue) {
            seen << tick;
            countdown.syncDone();
        }
    }
    QCOMPARE(seen, syncTicks);
    QCOMPARE(countdown.tickCount(), finalCount);
    const qint64 target = text.toLongLong() * 60;
    QCOMPARE(countdown.caption(), SyncCountdown::countdownCaption(target - finalCount));
}

void TestSyncCountdown::ticksUntilSyncMatchesTicks_data()
{
    QTest::addColumn<int>("ticksCounted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ticksUntilSync");
    QTest::newRow("fresh count, 3 s") << 0 << "0.05" << qint64(4);
    QTest::newRow("mid count") << 1 << "0.05" << qint64(3);
    QTest::newRow("count run out") << 3 << "0.05" << qint64(1);
    QTest::newRow("interval lowered below count") << 50 << "0.05" << qint64(1);
    QTest::newRow("5 minutes, 100 counted") << 100 << "5" << qint64(201);
}

// The number of ticks it predicts is the number it takes, whatever was counted.
void TestSyncCountdown::ticksUntilSyncMatchesTicks()
{
    QFETCH(int, ticksCounted);
    QFETCH(QString, text);
    QFETCH(qint64, ticksUntilSync);

    SyncCountdown countdown(QLocale::c());
    for (int i = 0; i < ticksCounted; ++i)
        countdown.tick("5");
    QCOMPARE(countdown.ticksUntilSync(text), std::optional<qint64>(ticksUntilSync));
    QCOMPARE(countdown.ticksUntilSync("abc"), std::nullopt);
    QCOMPARE(countdown.ticksPerCycle("abc"), std::nullopt);

    qint64 ticks = 1;
    while (countdown.tick(text) != Step::SyncDue)
        ++ticks;
    QCOMPARE(ticks, ticksUntilSync);
    countdown.syncDone();
    QCOMPARE(countdown.ticksUntilSync(text), countdown.ticksPerCycle(text));
}

QTEST_GUILESS_MAIN(TestSyncCountdown)
#include "tst_synccountdown.moc"
