#include "qt/update/SystemNetworkReachability.h"

#include <QSignalSpy>
#include <QTest>

using Reachability = QNetworkInformation::Reachability;

class TestSystemNetworkReachability : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reportedChanges_data();
    void reportedChanges();
};

void TestSystemNetworkReachability::reportedChanges_data()
{
    QTest::addColumn<QList<Reachability>>("changes");
    QTest::addColumn<int>("returns");
    using R = Reachability;
    QTest::newRow("lost and back") << QList<R>{R::Online, R::Disconnected, R::Online} << 1;
    QTest::newRow("unknown in between")
        << QList<R>{R::Online, R::Disconnected, R::Unknown, R::Online} << 1;
    QTest::newRow("unknown while online") << QList<R>{R::Online, R::Unknown, R::Online} << 0;
    QTest::newRow("twice") << QList<R>{R::Site, R::Online, R::Local, R::Online} << 2;
    QTest::newRow("online repeated") << QList<R>{R::Disconnected, R::Online, R::Online} << 1;
    QTest::newRow("never online") << QList<R>{R::Disconnected, R::Local, R::Site} << 0;
    QTest::newRow("site is not online") << QList<R>{R::Disconnected, R::Site} << 0;
}

void TestSystemNetworkReachability::reportedChanges()
{
    QFETCH(QList<Reachability>, changes);
    QFETCH(int, returns);
    SystemNetworkReachability reachability;
    // Whatever the system said first, each row starts online.
    reachability.observe(Reachability::Disconnected);
    reachability.observe(Reachability::Online);
    QSignalSpy spy(&reachability, &NetworkReachability::becameReachable);
    for (Reachability change : std::as_const(changes))
        reachability.observe(change);
    QCOMPARE(spy.count(), returns);
}

QTEST_GUILESS_MAIN(TestSystemNetworkReachability)
#include "tst_systemnetworkreachability.moc"
