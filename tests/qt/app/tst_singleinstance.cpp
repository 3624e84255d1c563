#include "qt/app/SingleInstance.h"

#include "PrivateBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

// Real starts of a probe program that claims the instance as the program does,
// each case on a session bus of its own.
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
            for (output += process.readAllStandardOutput(); output.count(line) < count;
                 output += process.readAllStandardOutput()) {
                if (!process.waitForReadyRead(5000))
                    return false;
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
    std::unique_ptr<PrivateBus> m_bus;
    std::vector<std::unique_ptr<Probe>> m_probes;

    // Starts the probe, under another executable name when given one (a link to it).
    Probe &start(const QString &name = {})
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
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
        probe->process.setProcessEnvironment(env);
        probe->process.start(program, {});
        m_probes.push_back(std::move(probe));
        return *m_probes.back();
    }

    // The process owning the probe's bus name, 0 for none.
    qint64 owner()
    {
        const QDBusConnection bus =
            QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("test"));
        const QDBusReply<uint> pid = bus.interface()->servicePid(
            SingleInstance::busName(QStringLiteral("singleinstance_probe")));
        return pid.isValid() ? pid.value() : 0;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY(!m_bus->address().isEmpty());
    }

    void cleanup()
    {
        for (auto &probe : m_probes) {
            probe->process.kill();
            probe->process.waitForFinished();
        }
        m_probes.clear();
        QDBusConnection::disconnectFromBus(QStringLiteral("test"));
        m_bus.reset();
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
        // Ended, it leaves nothing that keeps the next start from running.
        primary.process.closeWriteChannel();
        QVERIFY(primary.finish().endsWith("show received\n"));
        QVERIFY(start().waitFor("primary\n"));
    }

    void simultaneousStartsMakeOnePrimary()
    {
        constexpr int starts = 20;
        for (int i = 0; i < starts; ++i)
            start();
        // Those that found the name owned hand over; those replaced meanwhile end.
        const auto running = [this] {
            return std::count_if(m_probes.begin(), m_probes.end(), [](const auto &probe) {
                return probe->process.state() != QProcess::NotRunning;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(running(), 1, 30000);
        Probe *primary = nullptr;
        for (auto &probe : m_probes) {
            if (probe->process.state() != QProcess::NotRunning) {
                primary = probe.get();
                continue;
            }
            const QByteArray output = probe->finish();
            QVERIFY2(output == "handed over\n" || output == "primary\nreplaced\n",
                     output.constData());
        }
        QVERIFY(primary && primary->waitFor("primary\n"));
        QCOMPARE(owner(), primary->process.processId());
        QCOMPARE(start().finish(), QByteArray("handed over\n"));
        QVERIFY(primary->waitFor("show received\n"));
    }

    // Names that differ however slightly are different programs.
    void namesRunSideBySide_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("other");
        QTest::newRow("suffix") << "tavrin-connector"
                                << "tavrin-connector-2";
        QTest::newRow("dot and its escape") << "tavrin.x"
                                            << "tavrin_2ex";
        QTest::newRow("case") << "Tavrin"
                              << "tavrin";
        QTest::newRow("umlaut") << QStringLiteral("zähler") << "zahler";
        QTest::newRow("leading digit") << "2tavrin"
                                       << "_2tavrin";
        QTest::newRow("too long to escape")
            << QString(230, u'a') + u'.' << QString(230, u'a') + u'-';
    }

    void namesRunSideBySide()
    {
        QFETCH(QString, first);
        QFETCH(QString, other);
        Probe &one = start(first);
        QVERIFY(one.waitFor("primary\n"));
        Probe &two = start(other);
        QVERIFY(two.waitFor("primary\n"));
        QCOMPARE(start(other).finish(), QByteArray("handed over\n"));
        QVERIFY(two.waitFor("show received\n"));
        QCOMPARE(start(first).finish(), QByteArray("handed over\n"));
        QVERIFY(one.waitFor("show received\n"));
        QCOMPARE(one.output.count("show received\n"), 1);
    }
};

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
