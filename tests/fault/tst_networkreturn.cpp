#include "LoopbackHttpServer.h"
#include "ProgramRun.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <linux/filter.h>
#include <linux/netlink.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

// Why the test's own network namespace could not be made; empty when it was.
QString g_isolation;

const QString Gateway = QStringLiteral("192.0.2.1");
constexpr int SyncWaitMs = 10000;
// A second sync for the same return would come within this.
constexpr int QuietMs = 3000;

bool ip(const QString &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("ip"), arguments.split(QLatin1Char(' ')));
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// In the program's child: opening a routing socket fails as a locked-down
// system would have it (x86-64 system call numbers and argument layout).
void refuseRoutingSockets()
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_NETLINK, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, NETLINK_ROUTE, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{sizeof(code) / sizeof(code[0]), code};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        _Exit(99);
}

} // namespace

// The real program in a network namespace of the test's own: a veth pair whose
// both ends stay inside carries its address and default route (nothing leaves
// the namespace), and the loopback server counts its requests.
class TestNetworkReturn : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void syncsOncePerReturn_data();
    void syncsOncePerReturn();
    void routingSocketRefused();

private:
    LoopbackHttpServer m_server;
};

void TestNetworkReturn::initTestCase()
{
    QVERIFY2(g_isolation.isEmpty(), qPrintable(g_isolation));
    QVERIFY(ip(QStringLiteral("link set lo up")));
    QVERIFY(m_server.listen());
}

void TestNetworkReturn::init()
{
    QVERIFY(ip(QStringLiteral("link add v0 type veth peer name v1")));
    QVERIFY(ip(QStringLiteral("addr add 192.0.2.2/24 dev v0")));
    QVERIFY(ip(QStringLiteral("link set v0 up")));
    QVERIFY(ip(QStringLiteral("link set v1 up")));
    QVERIFY(ip(QStringLiteral("route add default via ") + Gateway + QStringLiteral(" dev v0")));
}

void TestNetworkReturn::cleanup()
{
    // Takes the peer, the addresses and the routes with it.
    ip(QStringLiteral("link del v0"));
}

void TestNetworkReturn::syncsOncePerReturn_data()
{
    QTest::addColumn<QStringList>("changes"); // arguments of ip, one call each
    QTest::addColumn<int>("syncs");
    // Not even woken: the kernel's filter drops every message.
    QTest::addColumn<bool>("unheard");
    const QString restore = QStringLiteral("route add default via ") + Gateway;
    QTest::newRow("default route removed and restored")
        << QStringList{QStringLiteral("route del default"), restore} << 1 << false;
    QTest::newRow("address removed and restored")
        << QStringList{QStringLiteral("addr del 192.0.2.2/24 dev v0"),
                       QStringLiteral("addr add 192.0.2.2/24 dev v0"), restore}
        << 1 << false;
    QTest::newRow("carrier lost and back")
        << QStringList{QStringLiteral("link set v1 down"), QStringLiteral("link set v1 up")} << 1
        << false;
    // The IPv4 routes go without a word; only the link's news tells.
    QTest::newRow("link switched off and on")
        << QStringList{QStringLiteral("link set v0 down"), QStringLiteral("link set v0 up"),
                       restore}
        << 1 << false;
    QTest::newRow("back over IPv6 once its address is checked")
        << QStringList{QStringLiteral("route del default"),
                       QStringLiteral("-6 addr add 2001:db8::2/64 dev v0"),
                       QStringLiteral("-6 route add default via 2001:db8::1 dev v0")}
        << 1 << false;
    QTest::newRow("IPv6 default route with a link-local address only")
        << QStringList{QStringLiteral("route del default"),
                       QStringLiteral("-6 route add default via fe80::1 dev v0")}
        << 0 << false;
    QTest::newRow("routing chatter")
        << QStringList{QStringLiteral("route add 198.51.100.0/24 via ") + Gateway,
                       QStringLiteral("-6 addr add fe80::5/64 dev v0"),
                       QStringLiteral("link add v2 type veth peer name v3"),
                       QStringLiteral("link set v2 up"),
                       QStringLiteral("link set v3 up"),
                       QStringLiteral("link set v1 mtu 1400"),
                       QStringLiteral("link del v2"),
                       QStringLiteral("route del 198.51.100.0/24")}
        << 0 << true;
}

void TestNetworkReturn::syncsOncePerReturn()
{
    QFETCH(QStringList, changes);
    QFETCH(int, syncs);
    QFETCH(bool, unheard);
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    // An hour's interval: every request after the first is a return's.
    QVERIFY(ProgramRun::seedSettings(configHome.path(), m_server.url(QStringLiteral("/return")),
                                     QStringLiteral("60")));
    const int before = m_server.requestCount();
    ProgramRun program(configHome.path());
    QVERIFY(program.start());
    QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(), before + 1, SyncWaitMs);
    QVERIFY(program.waitForLine(QStringLiteral("routing tables read:"), SyncWaitMs));

    for (const QString &change : std::as_const(changes))
        QVERIFY2(ip(change), qPrintable(change));
    if (syncs > 0)
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(), before + 1 + syncs, SyncWaitMs);
    QTest::qWait(QuietMs);
    QCOMPARE(m_server.requestCount(), before + 1 + syncs);
    if (unheard)
        QVERIFY(!program.hasLine(QStringLiteral("routing tables read again")));
    program.stop();
}

void TestNetworkReturn::routingSocketRefused()
{
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    QVERIFY(ProgramRun::seedSettings(configHome.path(), m_server.url(QStringLiteral("/refused")),
                                     QStringLiteral("60")));
    const int before = m_server.requestCount();
    ProgramRun program(configHome.path());
    program.setChildSetup(refuseRoutingSockets);
    QVERIFY(program.start());
    const QString said = QStringLiteral("the kernel's routing messages cannot be read (open: ");
    QVERIFY(program.waitForLine(said, SyncWaitMs));
    QVERIFY(ip(QStringLiteral("route del default")));
    QVERIFY(ip(QStringLiteral("route add default via ") + Gateway));
    QTest::qWait(QuietMs);
    QVERIFY(program.isRunning());
    QCOMPARE(m_server.requestCount(), before + 1);
    int times = 0;
    for (const ProgramRun::LogLine &line : program.lines())
        times += line.text.contains(said) ? 1 : 0;
    QCOMPARE(times, 1);
    program.stop();
}

int main(int argc, char **argv)
{
    // Before any thread exists: a namespace is a thread's, and the program started
    // later inherits it.
    if (unshare(CLONE_NEWNET) != 0)
        g_isolation = QStringLiteral("no network namespace of our own (needs root): ") +
                      QString::fromLocal8Bit(std::strerror(errno));
    QCoreApplication app(argc, argv);
    TestNetworkReturn test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_networkreturn.moc"
