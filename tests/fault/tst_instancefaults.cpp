#include "FaultHttpServer.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString Key = QStringLiteral("Zt8-instance-fault-key-Pq07");

// One run of the real program on the offscreen platform, with the config and
// runtime directories the test gives it (the runtime one holds what an earlier
// run left), its log lines collected.
class Run
{
public:
    // maxFiles: the program's descriptor limit, when given.
    Run(const QString &configHome, const QString &runtimeDir, rlim_t maxFiles = 0)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1,localhost"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tavrin.*=true"));
        env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{category}: %{message}"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        if (maxFiles > 0) {
            m_process.setChildProcessModifier([maxFiles] {
                const rlimit limit{maxFiles, maxFiles};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            });
        }
        m_process.start(QStringLiteral(TAVRIN_PROGRAM_PATH), {});
    }
    ~Run()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Waits, running the event loop, until the log holds fragment.
    bool waitForLine(const QString &fragment, int timeoutMs = 10000)
    {
        return QTest::qWaitFor(
            [&] {
                m_output += m_process.readAll();
                return m_output.contains(fragment.toUtf8());
            },
            timeoutMs);
    }
    bool waitForEnd(int timeoutMs = 10000)
    {
        const bool ended =
            QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
        m_output += m_process.readAll();
        return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    QByteArray output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
};

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

bool seedSettings(const QString &configHome, const QString &updateUrl)
{
    const QString directory = configHome + QStringLiteral("/tavrin-connector");
    return QDir().mkpath(directory) &&
           writeFile(directory + QStringLiteral("/tavrin-connector.ini"),
                     "[settings]\nTavrinKey=" + updateUrl.toUtf8() + "\nTavrinTime=5\n") &&
           QFile::setPermissions(directory + QStringLiteral("/tavrin-connector.ini"),
                                 QFile::ReadOwner | QFile::WriteOwner);
}

// A connection that then says nothing, or -1.
int connectSilently(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

// The real program started over what an earlier run left in its runtime
// directory: it runs (tray icon, first request), or hands over to a live copy.
class TestInstanceFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_runtime;
    FaultHttpServer m_server;

    QString lockFile() const
    {
        return m_runtime->filePath(QStringLiteral("tavrin-connector.lock"));
    }
    QString socketFile() const
    {
        return m_runtime->filePath(QStringLiteral("tavrin-connector.socket"));
    }

    // The program puts up its icon and sends its request. The offscreen
    // platform has no tray, so the icon is the minimised window there.
    void verifyRuns(Run &run)
    {
        const int before = int(m_server.served().size());
        QVERIFY2(run.waitForLine(QStringLiteral("tavrin.app: started;")), run.output().constData());
        QVERIFY2(run.output().contains("tavrin.tray: Tray icon added") ||
                     run.output().contains("tavrin.app: no system tray available"),
                 run.output().constData());
        QVERIFY2(QTest::qWaitFor([&] { return m_server.served().size() > before; }, 10000),
                 run.output().constData());
        QVERIFY2(!run.output().contains(Key.toUtf8()), "the key appeared in the log");
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_runtime = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid() && m_runtime->isValid());
        QVERIFY(QFile::setPermissions(m_runtime->path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        if (!m_server.isListening())
            QVERIFY(m_server.listen());
        QVERIFY(seedSettings(m_home->path(), m_server.url(QLatin1Char('/') + Key)));
    }

    void leftoversDoNotBlockTheStart_data()
    {
        QTest::addColumn<QByteArray>("lock"); // null: a hung holder instead
        QTest::addColumn<QString>("why");
        QTest::newRow("empty lock") << QByteArray("") << "the lock file was empty";
        QTest::newRow("garbage lock")
            << QByteArray("\x13\x37\xff garbage\n", 12) << "the lock file did not name its holder";
        QTest::newRow("other-host lock")
            << QByteArray("4242\ntavrin-connector\nelsewhere.example\n")
            << "the lock file came from host elsewhere.example";
        QTest::newRow("hung holder") << QByteArray() << "did not answer within";
    }

    void leftoversDoNotBlockTheStart()
    {
        QFETCH(QByteArray, lock);
        QFETCH(QString, why);
        // The hung holder is this test: it locks as earlier versions did and
        // accepts connections, but nothing reads them.
        QLockFile held(lockFile());
        QLocalServer mute;
        if (lock.isNull())
            QVERIFY(held.tryLock(0) && mute.listen(socketFile()));
        else
            QVERIFY(writeFile(lockFile(), lock));

        Run run(m_home->path(), m_runtime->path());
        verifyRuns(run);
        QVERIFY2(run.output().contains("tavrin.app: "), run.output().constData());
        QVERIFY2(run.output().contains(why.toUtf8()), run.output().constData());

        // Now it is the live copy: a second start hands over to it.
        Run second(m_home->path(), m_runtime->path());
        QVERIFY2(second.waitForEnd(), second.output().constData());
        QVERIFY(second.output().contains("asked it to show its window"));
        QVERIFY2(run.waitForLine(QStringLiteral("a later start asks to show the window")),
                 run.output().constData());
        QVERIFY(!second.output().contains("tavrin.app: started;"));
    }

    // More silent connections than the program may have descriptors: it keeps
    // listening, and a later start still hands over to it.
    void idleConnectionsDoNotStopTheServer()
    {
        constexpr int connections = 1200;
        Run run(m_home->path(), m_runtime->path(), 1024);
        verifyRuns(run);
        rlimit limit{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
        limit.rlim_cur = qMax(limit.rlim_cur, qMin<rlim_t>(limit.rlim_max, connections + 256));
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
        QVERIFY2(limit.rlim_cur >= rlim_t(connections + 64), "too few file descriptors");
        std::vector<int> clients;
        for (int i = 0; i < connections; ++i) {
            const int fd = connectSilently(socketFile());
            QVERIFY2(fd >= 0, qPrintable(QStringLiteral("connection %1").arg(i)));
            clients.push_back(fd);
        }
        Run second(m_home->path(), m_runtime->path());
        const bool handedOver = second.waitForEnd();
        for (const int fd : clients)
            ::close(fd);
        QVERIFY2(handedOver, second.output().constData());
        QVERIFY(second.output().contains("asked it to show its window"));
        QVERIFY2(run.waitForLine(QStringLiteral("a later start asks to show the window")),
                 run.output().constData());
        QCOMPARE(run.output().count("connections to the instance socket at once"), 1);
        QVERIFY(QFile::exists(socketFile()));
    }
};

QTEST_GUILESS_MAIN(TestInstanceFaults)
#include "tst_instancefaults.moc"
