#include "qt/update/NetworkReturnRules.h"

#include <QHostAddress>
#include <QTest>

#include "FakeClock.h"

namespace {

using Sightings = QList<QPair<int, qint64>>; // which watcher saw a return, and when

AddressFacts addressOf(const QString &text)
{
    AddressFacts facts;
    const QHostAddress host(text);
    if (host.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 v4 = host.toIPv4Address();
        facts.bytes = {std::uint8_t(v4 >> 24), std::uint8_t(v4 >> 16), std::uint8_t(v4 >> 8),
                       std::uint8_t(v4)};
    } else {
        facts.family = IpFamily::V6;
        const Q_IPV6ADDR v6 = host.toIPv6Address();
        std::copy(std::begin(v6.c), std::end(v6.c), facts.bytes.begin());
    }
    return facts;
}

// One reading of the tables, a word a fact: r4/r6 a default route, r4down one
// without carrier, u4 an unreachable default, n4 a route to a subnet; a4/a6 a
// global address, l6 a link-local one, t6 a tentative global one.
void feed(RoutingConnectivity &connectivity, const QString &reading)
{
    for (const QString &word : reading.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const IpFamily family = word.contains(QLatin1Char('6')) ? IpFamily::V6 : IpFamily::V4;
        if (word.startsWith(QLatin1Char('r')) || word.startsWith(QLatin1Char('u')) ||
            word.startsWith(QLatin1Char('n'))) {
            RouteFacts route;
            route.family = family;
            route.carrier = !word.endsWith(QLatin1String("down"));
            route.unicast = !word.startsWith(QLatin1Char('u'));
            route.prefixLength = word.startsWith(QLatin1Char('n')) ? 24 : 0;
            connectivity.route(route);
            continue;
        }
        AddressFacts address =
            addressOf(word.startsWith(QLatin1Char('l')) ? QStringLiteral("fe80::2")
                      : family == IpFamily::V6          ? QStringLiteral("2001:db8::2")
                                                        : QStringLiteral("192.0.2.2"));
        address.tentative = word.startsWith(QLatin1Char('t'));
        connectivity.address(address);
    }
}

} // namespace

class TestNetworkReturnRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void globalAddress_data();
    void globalAddress();
    void returnsFromReadings_data();
    void returnsFromReadings();
    void joinedReturns_data();
    void joinedReturns();
};

void TestNetworkReturnRules::globalAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("universeScope");
    QTest::addColumn<bool>("tentative");
    QTest::addColumn<bool>("global");
    QTest::newRow("private v4") << "192.168.1.20" << true << false << true;
    QTest::newRow("documentation v6") << "2001:db8::2" << true << false << true;
    QTest::newRow("unique local v6") << "fd00::5" << true << false << true;
    QTest::newRow("loopback v4") << "127.0.0.1" << true << false << false;
    QTest::newRow("loopback v6") << "::1" << true << false << false;
    QTest::newRow("link-local v4") << "169.254.3.4" << true << false << false;
    QTest::newRow("link-local v6") << "fe80::1" << true << false << false;
    QTest::newRow("link-local v6 range end") << "febf::1" << true << false << false;
    QTest::newRow("past the link-local range") << "fec0::1" << true << false << true;
    QTest::newRow("unspecified v4") << "0.0.0.0" << true << false << false;
    QTest::newRow("unspecified v6") << "::" << true << false << false;
    QTest::newRow("tentative") << "2001:db8::2" << true << true << false;
    QTest::newRow("host scope") << "10.0.0.1" << false << false << false;
}

void TestNetworkReturnRules::globalAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, universeScope);
    QFETCH(bool, tentative);
    QFETCH(bool, global);
    AddressFacts facts = addressOf(address);
    facts.universeScope = universeScope;
    facts.tentative = tentative;
    QCOMPARE(RoutingConnectivity::isGlobal(facts), global);
}

void TestNetworkReturnRules::returnsFromReadings_data()
{
    QTest::addColumn<QString>("readings"); // separated by |
    QTest::addColumn<int>("returns");
    QTest::newRow("route removed and restored") << "r4 a4 | a4 | r4 a4" << 1;
    QTest::newRow("connected from the start") << "r4 a4 | r4 a4" << 0;
    QTest::newRow("none at start, then connected") << "a4 | r4 a4" << 1;
    QTest::newRow("twice") << "a4 | r4 a4 | a4 | r4 a4" << 2;
    QTest::newRow("route without an address") << "r4 a4 | a4 | r4" << 0;
    QTest::newRow("route and address of other families") << "r4 a4 | a6 | r4 a6" << 0;
    QTest::newRow("back over v6 alone") << "r4 a4 | | r6 a6" << 1;
    QTest::newRow("v6 with a link-local address only") << "r4 a4 | | r6 l6" << 0;
    QTest::newRow("address still tentative") << "r4 a4 | r6 t6 | r6 a6" << 1;
    QTest::newRow("carrier lost and back") << "r4 a4 | r4down a4 | r4 a4" << 1;
    QTest::newRow("unreachable default") << "r4 a4 | u4 a4 | r4 a4" << 1;
    QTest::newRow("subnet route") << "r4 a4 | n4 a4 | r4 a4" << 1;
}

void TestNetworkReturnRules::returnsFromReadings()
{
    QFETCH(QString, readings);
    QFETCH(int, returns);
    RoutingConnectivity connectivity;
    int seen = 0;
    for (const QString &reading : readings.split(QLatin1Char('|'))) {
        connectivity.startReading();
        feed(connectivity, reading);
        seen += connectivity.finishReading() ? 1 : 0;
    }
    QCOMPARE(seen, returns);
}

void TestNetworkReturnRules::joinedReturns_data()
{
    QTest::addColumn<Sightings>("seen"); // ms from the first
    QTest::addColumn<int>("told");
    using S = Sightings;
    const qint64 window = NetworkReturnJoin::SameReturnMs;
    QTest::newRow("one watcher, two returns") << S{{0, 0}, {0, 5000}} << 2;
    QTest::newRow("the other one seconds later") << S{{0, 0}, {1, 5000}} << 1;
    QTest::newRow("the other one first") << S{{1, 0}, {0, 100}} << 1;
    QTest::newRow("the other one after the window") << S{{0, 0}, {1, window}} << 2;
    QTest::newRow("own return after an echo") << S{{0, 0}, {1, 1000}, {0, 2000}} << 2;
}

void TestNetworkReturnRules::joinedReturns()
{
    QFETCH(Sightings, seen);
    QFETCH(int, told);
    FakeClock clock;
    const qint64 start = clock.ms;
    NetworkReturnJoin join(clock);
    int passed = 0;
    for (const auto &[source, atMs] : seen) {
        clock.ms = start + atMs;
        passed += join.returned(source) ? 1 : 0;
    }
    QCOMPARE(passed, told);
}

QTEST_GUILESS_MAIN(TestNetworkReturnRules)
#include "tst_networkreturnrules.moc"
