#include "app/InstanceLockRecord.h"

#include <QtTest>

class tst_InstanceLockRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<long long>("pid"); // 0: not a record
        QTest::addColumn<QByteArray>("host");
        QTest::newRow("three lines")
            << QByteArray("4242\ntavrin-connector\nbox\n") << 4242LL << QByteArray("box");
        QTest::newRow("with a machine id")
            << QByteArray("7\napp\nbox\n0123abcd\n") << 7LL << QByteArray("box");
        QTest::newRow("empty names") << QByteArray("7\n\n\n") << 7LL << QByteArray();
        QTest::newRow("empty") << QByteArray() << 0LL << QByteArray();
        QTest::newRow("cut short") << QByteArray("4242\ntavrin-conn") << 0LL << QByteArray();
        QTest::newRow("no id") << QByteArray("\napp\nbox\n") << 0LL << QByteArray();
        QTest::newRow("id zero") << QByteArray("0\napp\nbox\n") << 0LL << QByteArray();
        QTest::newRow("signed id") << QByteArray("-5\napp\nbox\n") << 0LL << QByteArray();
        QTest::newRow("id past int") << QByteArray("9999999999\napp\nbox\n") << 0LL << QByteArray();
        QTest::newRow("binary host") << QByteArray("12\napp\nbo\x01x\n", 12) << 0LL << QByteArray();
        QTest::newRow("garbage") << QByteArray("\xff\xfe\x00garbage\n\n\n", 13) << 0LL
                                 << QByteArray();
    }

    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(long long, pid);
        QFETCH(QByteArray, host);
        const auto record =
            InstanceLockRecord::parse(std::string_view(text.constData(), size_t(text.size())));
        QCOMPARE(record.has_value(), pid != 0);
        if (record) {
            QCOMPARE(record->pid, pid);
            QCOMPARE(QByteArray::fromStdString(record->host), host);
            // What we write reads back the same.
            const auto again = InstanceLockRecord::parse(record->format());
            QVERIFY(again);
            QCOMPARE(again->pid, pid);
            QCOMPARE(again->application, record->application);
        }
    }

    void leftoverReason_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QByteArray() << "the lock file was empty";
        QTest::newRow("garbage") << QByteArray("\x01\x02zz") << "the lock file did not name";
        QTest::newRow("other host")
            << QByteArray("12\napp\nelsewhere\n") << "the lock file came from host elsewhere";
        QTest::newRow("this host")
            << QByteArray("12\napp\nhere\n") << "the lock file named process 12, which no longer";
        QTest::newRow("no host") << QByteArray("12\napp\n\n") << "named process 12";
    }

    void leftoverReason()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        const std::string told = InstanceLockRecord::leftoverReason(text.toStdString(), "here");
        QVERIFY2(QString::fromStdString(told).contains(reason), told.c_str());
    }
};

QTEST_APPLESS_MAIN(tst_InstanceLockRecord)
#include "tst_instancelockrecord.moc"
