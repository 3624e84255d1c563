#include "update/KeyConfirmation.h"

#include <QTest>

class TestKeyConfirmation : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void typing_data();
    void typing();
};

// Each row replays changes of the two boxes; after every change the OK state
// must be as listed. An empty list only checks the start state.
void TestKeyConfirmation::typing_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("confirmations");
    QTest::addColumn<QList<bool>>("enabled");

    QTest::newRow("start") << QStringList() << QStringList() << QList<bool>();
    QTest::newRow("typed until equal")
        << QStringList{"g", "ge", "ge", "ge"} << QStringList{"", "", "g", "ge"}
        << QList<bool>{false, false, false, true};
    QTest::newRow("case differs") << QStringList{"Key", "KEY"} << QStringList{"key", "key"}
                                  << QList<bool>{false, false};
    QTest::newRow("trailing blank differs")
        << QStringList{"key "} << QStringList{"key"} << QList<bool>{false};
    QTest::newRow("no case folding")
        << QStringList{"straße"} << QStringList{"STRASSE"} << QList<bool>{false};
    QTest::newRow("stays enabled")
        << QStringList{"abc", "abcd", ""} << QStringList{"abc", "abc", "abc"}
        << QList<bool>{true, true, true};
    QTest::newRow("empty equals empty")
        << QStringList{"x", ""} << QStringList{"", ""} << QList<bool>{false, true};
}

void TestKeyConfirmation::typing()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, confirmations);
    QFETCH(QList<bool>, enabled);

    KeyConfirmation keys;
    QCOMPARE(keys.okEnabled(), false);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QCOMPARE(keys.keyChanged(entries.at(i), confirmations.at(i)), enabled.at(i));
        QCOMPARE(keys.okEnabled(), enabled.at(i));
    }
}

QTEST_GUILESS_MAIN(TestKeyConfirmation)
#include "tst_keyconfirmation.moc"
