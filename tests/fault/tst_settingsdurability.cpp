#include "FullDisk.h"
#include "LoopbackHttpServer.h"
#include "ProgramRun.h"
#include "qt/settings/IniSettingsStore.h"
#include "settings/SettingsText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString Key = QStringLiteral("Mh8-durable-key-Tc52");
const QString Section = QStringLiteral("settings");
const QString KeyName = QStringLiteral("TavrinKey");
const QString IntervalName = QStringLiteral("TavrinTime");
// Not the interval box's initial text, so the program saves it at start.
const QString Interval = QStringLiteral("7");
// How long QLockFile waits at most for a lock file whose owner is unknown.
constexpr int LockStaleMs = 30000;
// A save on a local disk with nothing in its way.
constexpr int QuickSaveMs = 3000;
// A start beside a foreign file is not blocked: the faults guarded against
// held it for 30 s or for ever, while a start takes well under a second; the
// bound leaves room for a loaded machine.
constexpr int StartBoundMs = 5000;

int modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The two values a settings file holds, as the program reads them; an empty
// map when it is not text.
QMap<QString, QString> parsedValues(const QString &path)
{
    const std::string data = contentsOf(path).toStdString();
    QMap<QString, QString> values;
    for (const char *name : {"TavrinKey", "TavrinTime"}) {
        const std::optional<std::string> value = SettingsText::value(data, "settings", name);
        if (value && SettingsText::problem(data).empty())
            values.insert(QStringLiteral("settings/") + name, QString::fromStdString(*value));
    }
    return values;
}

// Files in dir holding secret that others than the owner could read or write.
// (QSettings' lock file is left behind by a kill with the umask's mode; it
// holds a process id and a host name, nothing of the settings.)
QStringList exposedFiles(const QString &dir, const QString &secret)
{
    QStringList exposed;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden)) {
        const int mode = modeOf(info.filePath());
        if ((mode & 0077) && contentsOf(info.filePath()).contains(secret.toUtf8()))
            exposed.append(info.fileName() +
                           QStringLiteral(" (%1)").arg(mode, 4, 8, QLatin1Char('0')));
    }
    return exposed;
}

// Root reads and writes past permission bits; the child gives that up for
// good (bounding set) before it runs the program, so a 0500 directory holds.
void withoutPermissionOverride()
{
    if (::geteuid() != 0)
        return;
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

// What lies under dir, entry by entry (lstat type, mode, device, link target,
// content), to show that a run changed nothing but what it may.
QMap<QString, QString> treeOf(const QString &dir)
{
    QMap<QString, QString> tree;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        QString description = QStringLiteral("mode %1 rdev %2 size %3")
                                  .arg(st.st_mode, 0, 8)
                                  .arg(quint64(st.st_rdev))
                                  .arg(qint64(st.st_size));
        if (S_ISLNK(st.st_mode))
            description += QStringLiteral(" -> ") + QFileInfo(path).symLinkTarget();
        else if (S_ISREG(st.st_mode))
            description +=
                QStringLiteral(" sha ") +
                QString::fromLatin1(
                    QCryptographicHash::hash(contentsOf(path), QCryptographicHash::Sha1).toHex());
        tree.insert(QDir(dir).relativeFilePath(path), description);
    }
    return tree;
}

QString settingsWarnings(const ProgramRun &program)
{
    QStringList lines;
    for (const ProgramRun::LogLine &line : program.lines()) {
        if (line.text.startsWith(QLatin1String("tavrin.settings: ")))
            lines.append(line.text);
    }
    return lines.join(QLatin1Char('\n'));
}

// Runs the program on configHome with a child setup that keeps it from saving:
// it must send its start-up request, keep running and never show the key. The
// settings warnings it logged go to *warnings.
void runProgramThatCannotSave(const QString &configHome, const LoopbackHttpServer &server,
                              std::function<void()> childSetup, QString *warnings)
{
    ProgramRun program(configHome);
    program.setChildSetup(std::move(childSetup));
    QVERIFY(program.start());
    QVERIFY2(QTest::qWaitFor([&] { return !server.served().isEmpty(); }, 8000),
             program.output().constData());
    QTest::qWait(1000);
    const bool running = program.isRunning();
    program.stop();

    QVERIFY2(!program.output().contains(Key.toUtf8()), "the key appeared in the output");
    QVERIFY2(running, program.output().constData());
    *warnings = settingsWarnings(program);
    qInfo("%s", qPrintable(*warnings));
}

} // namespace

class TestSettingsDurability : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void killedWhileSavingKeepsOldOrNewValue();
    void killedProgramKeepsSettings();
    void readOnlyConfigDirectory();
    void fullDiskKeepsOldFile();
    void programOnFullDisk();
    void startsAtOnceBesideForeignFiles_data();
    void startsAtOnceBesideForeignFiles();

private:
    quint32 m_seed = 0;
};

void TestSettingsDurability::initTestCase()
{
    bool given = false;
    m_seed = quint32(qEnvironmentVariableIntValue("TAVRIN_FAULT_SEED", &given));
    if (!given)
        m_seed = QRandomGenerator::global()->generate();
    qInfo("random kill times from seed %u (TAVRIN_FAULT_SEED repeats them)", m_seed);
}

void TestSettingsDurability::killedWhileSavingKeepsOldOrNewValue()
{
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    QVERIFY(ProgramRun::seedSettings(configHome.path(), QStringLiteral("http://127.0.0.1/seed"),
                                     Interval));
    const QString path = ProgramRun::settingsPath(configHome.path());
    const QString directory = QFileInfo(path).absolutePath();
    const QRegularExpression written(
        QStringLiteral("^http://127\\.0\\.0\\.1/ProbeKey-(\\d+)-p{2000}$"));

    QRandomGenerator random(m_seed);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());

    constexpr int Kills = 30;
    qint64 next = 1;
    int midWrite = 0;
    for (int kill = 0; kill < Kills; ++kill) {
        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral(TAVRIN_SETTINGS_PROBE_PATH), {QString::number(next)});
        QVERIFY(probe.waitForStarted(5000));
        // The first save shows whether an earlier kill left something behind
        // that holds it up, such as a lock file the kill caught before its
        // content was written: none may.
        QElapsedTimer untilSaved;
        untilSaved.start();
        QByteArray printed;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         printed += probe.readAllStandardOutput();
                         return printed.contains('\n') || probe.state() != QProcess::Running;
                     },
                     LockStaleMs + 5000),
                 qPrintable(QStringLiteral("kill %1: the probe saved nothing").arg(kill)));
        QVERIFY2(untilSaved.elapsed() <= QuickSaveMs,
                 qPrintable(QStringLiteral("kill %1: the next save waited %2 ms")
                                .arg(kill)
                                .arg(untilSaved.elapsed())));
        QVERIFY2(probe.state() == QProcess::Running, probe.readAllStandardError().constData());
        QTest::qWait(int(random.bounded(40)));
        probe.kill();
        QVERIFY(probe.waitForFinished(5000));
        printed += probe.readAllStandardOutput();

        const QList<QByteArray> numbers = printed.trimmed().split('\n');
        const qint64 lastSaved = numbers.last().toLongLong();
        QCOMPARE(lastSaved, next + numbers.size() - 1);

        const QMap<QString, QString> values = parsedValues(path);
        QVERIFY2(!values.isEmpty(), contentsOf(path).left(200).constData());
        QCOMPARE(values.keys(), QStringList({QStringLiteral("settings/TavrinKey"),
                                             QStringLiteral("settings/TavrinTime")}));
        QCOMPARE(values.value(QStringLiteral("settings/TavrinTime")), Interval);
        const QRegularExpressionMatch match =
            written.match(values.value(QStringLiteral("settings/TavrinKey")));
        QVERIFY(match.hasMatch());
        const qint64 held = match.captured(1).toLongLong();
        // The last value reported saved, or the one whose save the kill cut short.
        QVERIFY2(
            held == lastSaved || held == lastSaved + 1,
            qPrintable(QStringLiteral("file holds %1, last saved %2").arg(held).arg(lastSaved)));
        midWrite += held == lastSaved + 1 ? 1 : 0;

        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(modeOf(directory), 0700);
        QVERIFY2(exposedFiles(directory, QStringLiteral("ProbeKey")).isEmpty(),
                 qPrintable(exposedFiles(directory, QStringLiteral("ProbeKey")).join(u',')));
        next = held + 1;
    }
    const QStringList files = QDir(directory).entryList(QDir::Files | QDir::Hidden);
    qInfo("%d kills, %d after a save had replaced the file but before it returned; files left: %s",
          Kills, midWrite, qPrintable(files.join(QStringLiteral(", "))));
    // The next start removes the temporary file a kill left, with the key in it.
    const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    IniSettingsStore opened(QStringLiteral("tavrin-connector"));
    qputenv("XDG_CONFIG_HOME", savedConfigHome);
    QCOMPARE(QDir(directory).entryList({QStringLiteral("*.tmp-*")}, QDir::Files | QDir::Hidden),
             QStringList());
}

void TestSettingsDurability::killedProgramKeepsSettings()
{
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    const QString url = server.url(QLatin1Char('/') + Key);
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    const QString path = ProgramRun::settingsPath(configHome.path());
    // Without a stored interval, start-up saves the default: every run below writes.
    QVERIFY(ProgramRun::seedSettings(configHome.path(), url, QString()));
    const QMap<QString, QString> seeded = parsedValues(path);
    QCOMPARE(seeded.size(), 1);
    QMap<QString, QString> saved = seeded;
    saved.insert(QStringLiteral("settings/TavrinTime"), QStringLiteral("5"));

    QRandomGenerator random(m_seed ^ 0x5a5a5a5au);
    constexpr int Kills = 8;
    for (int kill = 0; kill < Kills; ++kill) {
        QVERIFY(ProgramRun::seedSettings(configHome.path(), url, QString()));
        ProgramRun program(configHome.path());
        QVERIFY(program.start());
        // Start-up saves the interval within its first few hundred milliseconds.
        QTest::qWait(int(random.bounded(400)));
        const bool wasRunning = program.isRunning();
        program.kill();
        QVERIFY2(!program.output().contains(Key.toUtf8()), "the key appeared in the output");
        QVERIFY2(wasRunning, program.output().constData());
        const QMap<QString, QString> values = parsedValues(path);
        QVERIFY2(values == seeded || values == saved,
                 qPrintable(QStringList(values.keys()).join(u',')));
        QCOMPARE(modeOf(path), 0600);
        QVERIFY2(exposedFiles(QFileInfo(path).absolutePath(), Key).isEmpty(),
                 qPrintable(exposedFiles(QFileInfo(path).absolutePath(), Key).join(u',')));
    }

    // Nothing a killed run left behind keeps the next one from starting.
    const int before = int(server.served().size());
    ProgramRun program(configHome.path());
    QVERIFY(program.start());
    QVERIFY2(QTest::qWaitFor([&] { return server.served().size() > before; }, LockStaleMs + 8000),
             program.output().constData());
    // Only a lock file emptied by the last kill may hold the start-up save up.
    if (program.msSinceStart() > 8000)
        qWarning("the first request came %lld ms after start", program.msSinceStart());
    QVERIFY(program.isRunning());
    program.stop();
    QVERIFY(!program.output().contains(Key.toUtf8()));
    QCOMPARE(parsedValues(path), saved);
}

void TestSettingsDurability::readOnlyConfigDirectory()
{
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    // No stored interval: start-up saves the default, which it cannot.
    QVERIFY(
        ProgramRun::seedSettings(configHome.path(), server.url(QLatin1Char('/') + Key), QString()));
    const QString path = ProgramRun::settingsPath(configHome.path());
    const QString directory = QFileInfo(path).absolutePath();
    const QByteArray before = contentsOf(path);
    QVERIFY(QFile::setPermissions(directory, QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });

    QString warnings;
    runProgramThatCannotSave(configHome.path(), server, withoutPermissionOverride, &warnings);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(warnings.contains(path) && warnings.contains(QLatin1String("not writable")),
             qPrintable(QStringLiteral("no reason logged: ") + warnings));
    QCOMPARE(contentsOf(path), before);
    QCOMPARE(modeOf(path), 0600);
}

void TestSettingsDurability::fullDiskKeepsOldFile()
{
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    const QString directory = configHome.filePath(QStringLiteral("tavrin-connector"));
    FullDisk disk(directory);
    if (!disk.isMounted())
        qWarning("no tmpfs (%s); a file size limit of 0 stands in for the full disk",
                 qPrintable(disk.mountRefusal()));
    const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    const auto restoreConfigHome =
        qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", savedConfigHome); });
    IniSettingsStore store(QStringLiteral("tavrin-connector"));
    const QString path = store.filePath();
    QCOMPARE(QFileInfo(path).absolutePath(), directory);
    QVERIFY(store.save(Section.toStdString(), KeyName.toStdString(), "http://127.0.0.1/old-value"));
    QVERIFY(store.save(Section.toStdString(), IntervalName.toStdString(), Interval.toStdString()));
    const QByteArray before = contentsOf(path);
    QVERIFY(disk.fill());

    {
        FullDisk::NoRoomScope noRoom(disk);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(path)));
        QVERIFY(!store.save(Section.toStdString(), KeyName.toStdString(),
                            "http://127.0.0.1/" + Key.toStdString()));
    }
    QCOMPARE(contentsOf(path), before);
    QCOMPARE(modeOf(path), 0600);
    QCOMPARE(QString::fromStdString(store.read(Section.toStdString(), KeyName.toStdString(), "")),
             QStringLiteral("http://127.0.0.1/old-value"));
    QStringList files = QDir(directory).entryList(QDir::Files | QDir::Hidden);
    files.removeAll(disk.fillerName());
    QCOMPARE(files, QStringList({QStringLiteral("tavrin-connector.ini")}));

    // With room again the next save goes through.
    disk.makeRoom();
    QVERIFY(store.save(Section.toStdString(), KeyName.toStdString(), "http://127.0.0.1/new-value"));
    QCOMPARE(parsedValues(path).value(QStringLiteral("settings/TavrinKey")),
             QStringLiteral("http://127.0.0.1/new-value"));
    QCOMPARE(modeOf(path), 0600);
}

void TestSettingsDurability::programOnFullDisk()
{
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    FullDisk disk(configHome.filePath(QStringLiteral("tavrin-connector")));
    if (!disk.isMounted())
        qWarning("no tmpfs (%s); a file size limit of 0 stands in for the full disk",
                 qPrintable(disk.mountRefusal()));
    // No stored interval: start-up saves the default, which it cannot.
    QVERIFY(
        ProgramRun::seedSettings(configHome.path(), server.url(QLatin1Char('/') + Key), QString()));
    const QString path = ProgramRun::settingsPath(configHome.path());
    const QByteArray before = contentsOf(path);
    QVERIFY(disk.fill());

    QString warnings;
    runProgramThatCannotSave(configHome.path(), server, disk.childSetup(), &warnings);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(warnings.contains(path), qPrintable(QStringLiteral("no reason logged: ") + warnings));
    QCOMPARE(contentsOf(path), before);
    QCOMPARE(modeOf(path), 0600);
}

void TestSettingsDurability::startsAtOnceBesideForeignFiles_data()
{
    QTest::addColumn<QString>("planted");
    // Whether the program reads the stored key (and so sends a request).
    QTest::addColumn<bool>("readsStoredKey");
    QTest::newRow("symlink to another program's file") << "link to file" << false;
    QTest::newRow("symlink to a device node") << "link to device" << false;
    QTest::newRow("device node in its place") << "device" << false;
    QTest::newRow("FIFO in its place") << "fifo" << false;
    QTest::newRow("directory is a symlink") << "linked directory" << false;
    QTest::newRow("2 MiB file") << "large" << false;
    QTest::newRow("lock held by a live process") << "held lock" << true;
}

// Whatever sits where the settings file belongs, the program starts at once,
// with the defaults unless the file is its own, says why, and leaves alone
// everything that is not its own regular file.
void TestSettingsDurability::startsAtOnceBesideForeignFiles()
{
    QFETCH(QString, planted);
    QFETCH(bool, readsStoredKey);
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    QTemporaryDir configHome;
    QVERIFY(configHome.isValid());
    const QString path = ProgramRun::settingsPath(configHome.path());
    const QString directory = QFileInfo(path).absolutePath();
    const QString url = server.url(QLatin1Char('/') + Key);
    // Another program's settings, which hold a key for our server: reading
    // them through a link would send a request.
    const QString elsewhere = configHome.filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(elsewhere));
    const QString foreign = elsewhere + QStringLiteral("/tavrin-connector.ini");
    {
        QFile file(foreign);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("[settings]\nTavrinKey=" + url.toUtf8() + "\nTavrinTime=9\n") > 0);
    }
    QVERIFY(QFile::setPermissions(foreign, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                               QFile::ReadOther));
    QVERIFY(QDir().mkpath(directory));
    const QByteArray target = QFile::encodeName(path);

    QStringList mayChange; // the program's own files, relative to configHome
    QByteArray large;
    QProcess holder;
    if (planted == "link to file") {
        QVERIFY(QFile::link(foreign, path));
    } else if (planted == "link to device" || planted == "device") {
        const QString node = planted == "device" ? path : elsewhere + QStringLiteral("/zero");
        if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 5)) != 0) {
            if (planted == "device")
                QSKIP("creating a device node needs root");
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (planted == "link to device") {
            QVERIFY(QFile::link(node, path));
        }
    } else if (planted == "fifo") {
        QCOMPARE(::mkfifo(target.constData(), 0600), 0);
    } else if (planted == "linked directory") {
        QVERIFY(QDir(directory).removeRecursively());
        QVERIFY(QFile::link(elsewhere, directory));
    } else if (planted == "large") {
        large = "[settings]\nTavrinKey=" + url.toUtf8() + "\n" +
                QByteArray("; padding\n").repeated(2 * 1024 * 1024 / 10 + 1);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(file.write(large), large.size());
        mayChange << QStringLiteral("tavrin-connector/tavrin-connector.ini")
                  << QStringLiteral("tavrin-connector/tavrin-connector.ini.corrupt");
    } else if (planted == "held lock") {
        // No stored interval: start-up must write, and finds the lock taken.
        QVERIFY(ProgramRun::seedSettings(configHome.path(), url, QString()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
        holder.setProcessEnvironment(env);
        holder.start(QStringLiteral(TAVRIN_SETTINGS_PROBE_PATH), {QStringLiteral("--hold-lock")});
        QVERIFY(holder.waitForReadyRead(5000));
        QCOMPARE(holder.readAllStandardOutput(), QByteArray("locked\n"));
        mayChange << QStringLiteral("tavrin-connector/tavrin-connector.ini")
                  << QStringLiteral("tavrin-connector/tavrin-connector.ini.lock");
    }
    const auto cleanUp = qScopeGuard([&] {
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished(5000);
        }
    });
    QMap<QString, QString> before = treeOf(configHome.path());
    for (const QString &own : std::as_const(mayChange))
        before.remove(own);

    ProgramRun program(configHome.path());
    QVERIFY(program.start());
    QVERIFY2(program.waitForLine(QStringLiteral("tavrin.app: started"), StartBoundMs),
             program.output().constData());
    QVERIFY2(program.waitForLine(QStringLiteral("tavrin.settings: "), StartBoundMs),
             program.output().constData());
    const QString started = [&] {
        for (const ProgramRun::LogLine &line : program.lines()) {
            if (line.text.startsWith(QLatin1String("tavrin.app: started")))
                return line.text;
        }
        return QString();
    }();
    const QString warnings = settingsWarnings(program);
    qInfo("%s", qPrintable(warnings));
    QVERIFY2(warnings.contains(path), qPrintable(warnings));
    if (readsStoredKey) {
        // Reading never waits for the lock: the stored key is requested at once.
        QVERIFY2(QTest::qWaitFor([&] { return !server.served().isEmpty(); }, StartBoundMs),
                 program.output().constData());
        QVERIFY2(warnings.contains(QLatin1String("locked")), qPrintable(warnings));
    } else {
        QVERIFY2(started.contains(QLatin1String("interval \"5\"")), qPrintable(started));
    }
    // A short look whether the program follows anything with its requests.
    QTest::qWait(300);
    QVERIFY(program.isRunning());
    if (!readsStoredKey)
        QVERIFY2(server.served().isEmpty(), "the program read settings that are not its own");

    if (planted == "held lock") {
        // Once the other writer is gone the kept change is written.
        holder.kill();
        QVERIFY(holder.waitForFinished(5000));
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return parsedValues(path).value(QStringLiteral("settings/TavrinTime")) ==
                                QLatin1String("5");
                     },
                     IniSettingsStore::RetryMs + 3000),
                 program.output().constData());
        // The file is replaced before that line is logged; give the output time to arrive.
        QVERIFY2(program.waitForLine(QStringLiteral("waited for the lock"), QuickSaveMs),
                 program.output().constData());
        QCOMPARE(modeOf(path), 0600);
    }
    program.stop();
    QVERIFY2(!program.output().contains(Key.toUtf8()), "the key appeared in the output");

    QMap<QString, QString> after = treeOf(configHome.path());
    for (const QString &own : std::as_const(mayChange))
        after.remove(own);
    QCOMPARE(after, before);
    if (planted == "large") {
        QCOMPARE(contentsOf(path + QStringLiteral(".corrupt")), large);
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(parsedValues(path).value(QStringLiteral("settings/TavrinTime")),
                 QStringLiteral("5"));
    }
}

QTEST_GUILESS_MAIN(TestSettingsDurability)
#include "tst_settingsdurability.moc"
