#include "update/SyncInterval.h"

#include <QTest>

class TestSyncInterval : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void targetSeconds_data();
    void targetSeconds();
};

// target -1 marks a text that must be refused; minutes is then unused.
void TestSyncInterval::targetSeconds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<double>("minutes");
    QTest::addColumn<qint64>("target");

    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale c = QLocale::c();

    QTest::newRow("whole minutes") << "5" << de << 5.0 << qint64(300);
    QTest::newRow("german decimal comma") << "1,5" << de << 1.5 << qint64(90);
    QTest::newRow("c decimal point under german") << "1.5" << de << 1.5 << qint64(90);
    QTest::newRow("c decimal point under c") << "1.5" << c << 1.5 << qint64(90);
    QTest::newRow("german dot is no group separator") << "1.500" << de << 1.5 << qint64(90);
    QTest::newRow("blanks around") << "  5 " << de << 5.0 << qint64(300);
    QTest::newRow("under a second rounds up") << "0,01" << de << 0.01 << qint64(1);
    QTest::newRow("tiny interval is one second") << "0,0000001" << de << 1e-7 << qint64(1);
    QTest::newRow("ten hours") << "600" << de << 600.0 << qint64(36000);
    QTest::newRow("exponent") << "1e3" << c << 1000.0 << qint64(60000);
    QTest::newRow("largest accepted") << "1e13" << c << 1e13 << qint64(600000000000000);
    // Products that land a hair off a whole number in binary.
    QTest::newRow("16.1 min above 966 s") << "16,1" << de << 16.1 << qint64(966);
    QTest::newRow("4.15 min above 249 s") << "4.15" << c << 4.15 << qint64(249);
    QTest::newRow("8.05 min above 483 s") << "8,05" << de << 8.05 << qint64(483);
    QTest::newRow("4.1 min below 246 s") << "4,1" << de << 4.1 << qint64(246);
    QTest::newRow("0.1 min") << "0,1" << de << 0.1 << qint64(6);
    QTest::newRow("a true fraction still rounds up") << "0,0251" << de << 0.0251 << qint64(2);

    QTest::newRow("empty") << "" << de << 0.0 << qint64(-1);
    QTest::newRow("only blanks") << "   " << de << 0.0 << qint64(-1);
    QTest::newRow("letters") << "abc" << de << 0.0 << qint64(-1);
    QTest::newRow("number with unit") << "5 min" << de << 0.0 << qint64(-1);
    QTest::newRow("zero") << "0" << de << 0.0 << qint64(-1);
    QTest::newRow("negative") << "-1" << de << 0.0 << qint64(-1);
    QTest::newRow("negative fraction") << "-0,5" << de << 0.0 << qint64(-1);
    QTest::newRow("inf") << "inf" << de << 0.0 << qint64(-1);
    QTest::newRow("nan") << "nan" << c << 0.0 << qint64(-1);
    QTest::newRow("seconds overflow a double") << "1e308" << c << 0.0 << qint64(-1);
    QTest::newRow("too long to count") << "1e14" << c << 0.0 << qint64(-1);
    QTest::newRow("comma is a group separator under c") << "1,5" << c << 0.0 << qint64(-1);
    QTest::newRow("german grouped thousands") << "1.000,5" << de << 0.0 << qint64(-1);
}

void TestSyncInterval::targetSeconds()
{
    QFETCH(QString, text);
    QFETCH(QLocale, locale);
    QFETCH(double, minutes);
    QFETCH(qint64, target);

    const std::optional<double> m = SyncInterval::minutes(text, locale);
    const std::optional<qint64> t = SyncInterval::targetSeconds(text, locale);
    if (target < 0) {
        QVERIFY(!m.has_value());
        QVERIFY(!t.has_value());
        return;
    }
    QVERIFY(m.has_value());
    QCOMPARE(*m, minutes);
    QVERIFY(t.has_value());
    QCOMPARE(*t, target);
}

QTEST_GUILESS_MAIN(TestSyncInterval)
#include "tst_syncinterval.moc"
