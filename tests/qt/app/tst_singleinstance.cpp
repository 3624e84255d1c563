#include "app/InstanceLockRecord.h"
#include "qt/app/SingleInstance.h"

#include "SilentConnection.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

#include <cstring>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// Real starts of a probe program that claims the instance as the program does,
// each case in its own runtime directory.
class tst_SingleInstance : public QObject
{
    Q_OBJECT

private:
    struct Probe
    {
        QProcess process;
        QByteArray output;

        // Waits (event-driven, bounded) until the probe has printed line count times.
        bool waitFor(const QByteArray &line, int count = 1)
        {
            while (output.count(line) < count) {
                if (!process.waitForReadyRead(5000))
                    return false;
                output += process.readAllStandardOutput();
            }
            return true;
        }
        // Waits for a probe that is to end by itself and returns its whole output.
        QByteArray finish()
        {
            if (process.state() != QProcess::NotRunning && !process.waitForFinished(5000))
                return "still running";
            output += process.readAllStandardOutput();
            if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
                return output + "exit code " + QByteArray::number(process.exitCode());
            return output;
        }
    };

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<Probe>> m_probes;

    QString runtimeDir(const QString &name = QStringLiteral("runtime")) const
    {
        return m_dir->filePath(name);
    }
    QString lockFile() const { return runtimeDir() + QStringLiteral("/singleinstance_probe.lock"); }
    QString socketFile() const
    {
        return runtimeDir() + QStringLiteral("/singleinstance_probe.socket");
    }

    static bool writeFile(const QString &path, const QByteArray &contents)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(contents) == contents.size();
    }

    // The process the lock file names, or 0.
    qint64 lockedBy() const
    {
        QFile file(lockFile());
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        const auto record = InstanceLockRecord::parse(file.readAll().toStdString());
        return record ? record->pid : 0;
    }

    // Starts the probe, under another executable name when given one (a link to it).
    Probe &start(const QString &name = {}, const QString &runtime = {}, rlim_t maxFiles = 0)
    {
        QString program = QStringLiteral(SINGLEINSTANCE_PROBE);
        if (!name.isEmpty()) {
            const QString link = m_dir->filePath(name);
            if (!QFile::exists(link))
                QFile::link(program, link);
            program = link;
        }
        auto probe = std::make_unique<Probe>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.isEmpty() ? runtimeDir() : runtime);
        probe->process.setProcessEnvironment(env);
        if (maxFiles > 0) {
            probe->process.setChildProcessModifier([maxFiles] {
                const rlimit limit{maxFiles, maxFiles};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            });
        }
        probe->process.start(program, {});
        m_probes.push_back(std::move(probe));
        return *m_probes.back();
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkdir(runtimeDir()));
        QVERIFY(QFile::setPermissions(runtimeDir(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void cleanup()
    {
        for (auto &probe : m_probes) {
            probe->process.kill();
            probe->process.waitForFinished();
        }
        m_probes.clear();
        m_dir.reset();
    }

    void laterStartHandsOver_data()
    {
        QTest::addColumn<int>("laterStarts");
        QTest::newRow("one later start") << 1;
        QTest::newRow("three later starts") << 3;
    }

    void laterStartHandsOver()
    {
        QFETCH(int, laterStarts);
        Probe &primary = start();
        QVERIFY(primary.waitFor("primary\n"));
        for (int i = 1; i <= laterStarts; ++i) {
            QCOMPARE(start().finish(), QByteArray("handed over\n"));
            QVERIFY(primary.waitFor("show received\n", i));
        }
    }

    void simultaneousStartsMakeOnePrimary_data()
    {
        QTest::addColumn<int>("before"); // 0 nothing, 1 a garbage lock, 2 a hung holder
        QTest::newRow("nothing left") << 0;
        QTest::newRow("garbage lock") << 1;
        QTest::newRow("hung holder") << 2;
    }

    void simultaneousStartsMakeOnePrimary()
    {
        QFETCH(int, before);
        QLockFile hung(lockFile());
        QLocalServer mute;
        if (before == 1)
            QVERIFY(writeFile(lockFile(), "garbage"));
        if (before == 2)
            QVERIFY(hung.tryLock(0) && mute.listen(socketFile()));
        constexpr int starts = 4;
        for (int i = 0; i < starts; ++i)
            start();
        Probe *primary = nullptr;
        for (auto &probe : m_probes) {
            if (probe->waitFor("primary\n")) {
                QVERIFY2(!primary, "two primaries");
                primary = probe.get();
            } else {
                QCOMPARE(probe->finish(), QByteArray("handed over\n"));
            }
        }
        QVERIFY(primary);
        QVERIFY(primary->waitFor("show received\n", starts - 1));
        QCOMPARE(lockedBy(), primary->process.processId());
    }

    void leftoversDoNotBlock_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("primary killed") << true;
        QTest::newRow("primary ended cleanly") << false;
    }

    void leftoversDoNotBlock()
    {
        QFETCH(bool, killed);
        Probe &first = start();
        QVERIFY(first.waitFor("primary\n"));
        if (killed) {
            first.process.kill();
            QVERIFY(first.process.waitForFinished());
        } else {
            first.process.closeWriteChannel();
            QCOMPARE(first.finish(), QByteArray("primary\n"));
        }
        // A killed primary leaves its lock and socket behind; a clean exit removes both.
        QCOMPARE(QFile::exists(lockFile()), killed);
        QCOMPARE(QFile::exists(socketFile()), killed);
        Probe &next = start();
        QVERIFY(next.waitFor("primary\n"));
        QCOMPARE(start().finish(), QByteArray("handed over\n"));
        QVERIFY(next.waitFor("show received\n"));
    }

    void separateKeysRunSideBySide_data()
    {
        QTest::addColumn<QString>("otherName");
        QTest::addColumn<QString>("otherRuntime");
        QTest::newRow("another executable name") << "tavrin-other"
                                                 << "runtime";
        // A second user has a runtime directory of his own.
        QTest::newRow("another runtime directory") << ""
                                                   << "runtime-other";
    }

    void separateKeysRunSideBySide()
    {
        QFETCH(QString, otherName);
        QFETCH(QString, otherRuntime);
        const QString runtime = runtimeDir(otherRuntime);
        Probe &first = start();
        QVERIFY(first.waitFor("primary\n"));
        Probe &other = start(otherName, runtime);
        QVERIFY(other.waitFor("primary\n"));
        QCOMPARE(start(otherName, runtime).finish(), QByteArray("handed over\n"));
        QVERIFY(other.waitFor("show received\n"));
        QCOMPARE(start().finish(), QByteArray("handed over\n"));
        QVERIFY(first.waitFor("show received\n"));
        QCOMPARE(first.output.count("show received\n"), 1);
    }

    // The holder is this test process, locking as earlier versions of the
    // program did; it runs no event loop while the probe waits, so the probe's
    // request goes unanswered.
    void hungHolderIsTakenOver_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::newRow("holder not listening") << false;
        QTest::newRow("holder listening, never answering") << true;
    }

    void hungHolderIsTakenOver()
    {
        QFETCH(bool, listening);
        QLockFile lock(lockFile());
        QVERIFY(lock.tryLock(0));
        QLocalServer server;
        if (listening)
            QVERIFY(server.listen(socketFile()));
        Probe &next = start();
        QVERIFY(next.waitFor("primary\n"));
        // Later starts reach the new primary, not the hung holder.
        QCOMPARE(start().finish(), QByteArray("handed over\n"));
        QVERIFY(next.waitFor("show received\n"));
        QCOMPARE(lockedBy(), next.process.processId());
    }

    // What a run that ended without cleaning up, or something else, left behind.
    void leftoverFilesDoNotBlock_data()
    {
        QTest::addColumn<QByteArray>("lock"); // null: no lock file
        QTest::addColumn<int>("socket");      // 0 none, 1 a regular file, 2 a mute listener
        const QByteArray host = QSysInfo::machineHostName().toUtf8();
        QTest::newRow("empty lock") << QByteArray("") << 0;
        QTest::newRow("garbage lock") << QByteArray("\x7f\xff\x00\x01 no record", 14) << 0;
        QTest::newRow("lock cut short") << QByteArray("31337\nsingleinst") << 0;
        QTest::newRow("other-host lock")
            << QByteArray("31337\nsingleinstance_probe\nelsewhere.example\n") << 0;
        // An id that runs (this test), but does not hold the lock.
        QTest::newRow("lock naming a live process")
            << QByteArray::number(QCoreApplication::applicationPid()) + "\nsingleinstance_probe\n" +
                   host + "\n"
            << 0;
        QTest::newRow("garbage socket file") << QByteArray() << 1;
        QTest::newRow("mute socket, garbage lock") << QByteArray("garbage") << 2;
    }

    void leftoverFilesDoNotBlock()
    {
        QFETCH(QByteArray, lock);
        QFETCH(int, socket);
        if (!lock.isNull())
            QVERIFY(writeFile(lockFile(), lock));
        if (socket == 1)
            QVERIFY(writeFile(socketFile(), "garbage"));
        QLocalServer mute;
        if (socket == 2)
            QVERIFY(mute.listen(socketFile()));
        Probe &next = start();
        QVERIFY(next.waitFor("primary\n"));
        QCOMPARE(lockedBy(), next.process.processId());
        QCOMPARE(start().finish(), QByteArray("handed over\n"));
        QVERIFY(next.waitFor("show received\n"));
    }

    // Clients that connect and say nothing, far more than the process may have
    // descriptors: the primary keeps listening and still answers.
    void idleConnectionsDoNotStopTheServer()
    {
        constexpr int connections = 1200;
        constexpr rlim_t probeFiles = 1024;
        Probe &primary = start({}, {}, probeFiles);
        QVERIFY(primary.waitFor("primary\n"));
        const std::vector<int> clients = connectManySilently(socketFile(), connections);
        QVERIFY2(int(clients.size()) == connections, "could not open the silent connections");
        QCOMPARE(start().finish(), QByteArray("handed over\n"));
        QVERIFY(primary.waitFor("show received\n"));
        // The server kept only a few of them open.
        int open = 0;
        for (const int fd : clients) {
            char byte;
            const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
            if (got < 0 && errno == EAGAIN)
                ++open;
        }
        for (const int fd : clients)
            ::close(fd);
        QVERIFY2(open <= 16, qPrintable(QString::number(open)));
        QVERIFY(QFile::exists(socketFile()));
        QCOMPARE(start().finish(), QByteArray("handed over\n"));
        QVERIFY(primary.waitFor("show received\n", 2));
    }

    // The running program notices that its files are gone: at once where it
    // watches their directory (the periodic check is then an hour away), else at
    // its next check.
    void lostFilesAreMadeAgain_data()
    {
        QTest::addColumn<int>("loss"); // 0 socket removed, 1 socket replaced, 2 lock removed
        QTest::addColumn<bool>("watched");
        for (const bool watched : {true, false}) {
            const char *how = watched ? "watched" : "checked";
            QTest::addRow("socket file removed, %s", how) << 0 << watched;
            QTest::addRow("socket file replaced, %s", how) << 1 << watched;
            QTest::addRow("lock file removed, %s", how) << 2 << watched;
        }
    }

    void lostFilesAreMadeAgain()
    {
        QFETCH(int, loss);
        QFETCH(bool, watched);
        SingleInstance instance(QStringLiteral("singleinstance_probe"), runtimeDir());
        SingleInstance::Timing timing;
        timing.server.watchDirectory = watched;
        timing.server.checkMs = watched ? 3600000 : 100;
        instance.setTiming(timing);
        QCOMPARE(instance.claim(), SingleInstance::Outcome::Primary);
        QSignalSpy showSpy(&instance, &SingleInstance::showRequested);
        const QString lost = loss == 2 ? lockFile() : socketFile();
        if (loss == 1) {
            // Replaced in one step: a watching server may make a removed socket again at once.
            QVERIFY(writeFile(lost + ".new", "not a socket"));
            QVERIFY(::rename(QFile::encodeName(lost + ".new").constData(),
                             QFile::encodeName(lost).constData()) == 0);
        } else {
            QVERIFY(QFile::remove(lost));
        }
        QTRY_VERIFY(QFile::exists(lost));
        QTRY_COMPARE(lockedBy(), QCoreApplication::applicationPid());
        // Asked from another process, as a later start would.
        QCOMPARE(start().finish(), QByteArray("handed over\n"));
        QTRY_COMPARE(showSpy.count(), 1);
    }

    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("shows");
        QTest::addColumn<bool>("dropped");
        QTest::newRow("show") << QByteArray("show\n") << 1 << false;
        QTest::newRow("two in one write") << QByteArray("show\nshow\n") << 2 << false;
        QTest::newRow("unknown request") << QByteArray("quit\n") << 0 << true;
        QTest::newRow("overlong line") << QByteArray(200, 'x') << 0 << true;
        QTest::newRow("nothing") << QByteArray() << 0 << true;
        QTest::newRow("half a request") << QByteArray("sho") << 0 << true;
    }

    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, shows);
        QFETCH(bool, dropped);
        SingleInstance instance(QStringLiteral("app"), runtimeDir());
        SingleInstance::Timing timing;
        timing.server.idleMs = 300;
        instance.setTiming(timing);
        QCOMPARE(instance.claim(), SingleInstance::Outcome::Primary);
        QSignalSpy showSpy(&instance, &SingleInstance::showRequested);
        QLocalSocket client;
        client.connectToServer(instance.socketPath());
        QVERIFY(client.waitForConnected(5000));
        client.write(request);
        if (dropped) {
            QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
        } else {
            const QByteArray answer = QByteArray("ok\n").repeated(shows);
            QTRY_COMPARE(client.bytesAvailable(), answer.size());
            QCOMPARE(client.readAll(), answer);
        }
        QCOMPARE(showSpy.count(), shows);
    }
};

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
