#include "app/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

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

    // Starts the probe, under another executable name when given one (a link to it).
    Probe &start(const QString &name = {}, const QString &runtime = {})
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

    void simultaneousStartsMakeOnePrimary()
    {
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

    void unansweringHolderDoesNotKeepLaterStartWaiting_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::newRow("holder not listening") << false;
        QTest::newRow("holder listening, never answering") << true;
    }

    // The holder is this test process; it runs no event loop while the probe
    // waits, so the probe's request goes unanswered (its deadline is the delay).
    void unansweringHolderDoesNotKeepLaterStartWaiting()
    {
        QFETCH(bool, listening);
        QLockFile lock(lockFile());
        QVERIFY(lock.tryLock(0));
        QLocalServer server;
        if (listening)
            QVERIFY(server.listen(socketFile()));
        QCOMPARE(start().finish(), QByteArray("no answer\n"));
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
    }

    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, shows);
        QFETCH(bool, dropped);
        SingleInstance instance(QStringLiteral("app"), runtimeDir());
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
