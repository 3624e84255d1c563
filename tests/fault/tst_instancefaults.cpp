#include "LoopbackHttpServer.h"
#include "ProgramRun.h"
#include "SilentConnection.h"

#include <QFile>
#include <QLocalServer>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString Key = QStringLiteral("Zt8-instance-fault-key-Pq07");

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

} // namespace

// The real program started over what an earlier run left in its runtime
// directory: it runs (tray icon, first request), or hands over to a live copy.
class TestInstanceFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_runtime;
    LoopbackHttpServer m_server;

    QString lockFile() const
    {
        return m_runtime->filePath(QStringLiteral("tavrin-connector.lock"));
    }
    QString socketFile() const
    {
        return m_runtime->filePath(QStringLiteral("tavrin-connector.socket"));
    }

    // The program puts up its icon and sends its request. The offscreen
    // platform has no tray, so the program waits for one there.
    // A run of the program in this case's config and runtime directories.
    std::unique_ptr<ProgramRun> startRun(rlim_t maxFiles = 0)
    {
        auto run = std::make_unique<ProgramRun>(m_home->path());
        run->setRuntimeDirectory(m_runtime->path());
        if (maxFiles > 0) {
            run->setChildSetup([maxFiles] {
                const rlimit limit{maxFiles, maxFiles};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            });
        }
        return run->start() ? std::move(run) : nullptr;
    }

    void verifyRuns(ProgramRun &run)
    {
        const int before = int(m_server.served().size());
        QVERIFY2(run.waitForLine(QStringLiteral("tavrin.app: started;"), 10000),
                 run.output().constData());
        QVERIFY2(run.output().contains("tavrin.tray: Tray icon added") ||
                     run.output().contains("tavrin.app: no system tray yet"),
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
        QVERIFY(ProgramRun::seedSettings(m_home->path(), m_server.url(QLatin1Char('/') + Key),
                                         QStringLiteral("5")));
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

        const auto run = startRun();
        QVERIFY(run);
        verifyRuns(*run);
        QVERIFY2(run->output().contains("tavrin.app: "), run->output().constData());
        QVERIFY2(run->output().contains(why.toUtf8()), run->output().constData());

        // Now it is the live copy: a second start hands over to it.
        const auto second = startRun();
        QVERIFY(second);
        QVERIFY2(second->waitForEnd(10000), second->output().constData());
        QVERIFY(second->output().contains("asked it to show its window"));
        QVERIFY2(run->waitForLine(QStringLiteral("a later start asks to show the window"), 10000),
                 run->output().constData());
        QVERIFY(!second->output().contains("tavrin.app: started;"));
    }

    // More silent connections than the program may have descriptors: it keeps
    // listening, and a later start still hands over to it.
    void idleConnectionsDoNotStopTheServer()
    {
        constexpr int connections = 1200;
        const auto run = startRun(1024);
        QVERIFY(run);
        verifyRuns(*run);
        const std::vector<int> clients = connectManySilently(socketFile(), connections);
        QVERIFY2(int(clients.size()) == connections, "could not open the silent connections");
        const auto second = startRun();
        QVERIFY(second);
        const bool handedOver = second->waitForEnd(10000);
        for (const int fd : clients)
            ::close(fd);
        QVERIFY2(handedOver, second->output().constData());
        QVERIFY(second->output().contains("asked it to show its window"));
        QVERIFY2(run->waitForLine(QStringLiteral("a later start asks to show the window"), 10000),
                 run->output().constData());
        QCOMPARE(run->output().count("connections to the instance socket at once"), 1);
        QVERIFY(QFile::exists(socketFile()));
    }
};

QTEST_GUILESS_MAIN(TestInstanceFaults)
#include "tst_instancefaults.moc"
