#include "qt/settings/IniSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <memory>

namespace {

// Collects this library's log messages while a test runs.
QStringList g_settingsWarnings;
QtMessageHandler g_previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "tavrin.settings") == 0 && type == QtWarningMsg)
        g_settingsWarnings << message;
    else
        g_previousHandler(type, context, message);
}

// Root ignores permission bits, so tests about unreadable files and read-only
// directories drop the capabilities that allow that, for this thread, and get
// them back afterwards. For an ordinary user this does nothing.
class PermissionBitsEnforced
{
public:
    PermissionBitsEnforced()
    {
        if (geteuid() != 0 || syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(CAP_TO_MASK(CAP_DAC_OVERRIDE) | CAP_TO_MASK(CAP_DAC_READ_SEARCH));
        m_dropped = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionBitsEnforced()
    {
        if (m_dropped)
            syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
    bool m_dropped = false;
};

int modeOf(const QString &path)
{
    struct stat st;
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

ino_t inodeOf(const QString &path)
{
    struct stat st;
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), data.size());
}

// The store speaks UTF-8; these tests compare Qt text.
QString readText(const SettingsStore &store, const QString &section, const QString &name,
                 const QString &defaultValue)
{
    return QString::fromStdString(
        store.read(section.toStdString(), name.toStdString(), defaultValue.toStdString()));
}

bool saveText(SettingsStore &store, const QString &section, const QString &name,
              const QString &value)
{
    return store.save(section.toStdString(), name.toStdString(), value.toStdString());
}

} // namespace

class TestIniSettingsStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->path()));
        g_settingsWarnings.clear();
        g_previousHandler = qInstallMessageHandler(captureMessage);
    }

    void cleanup()
    {
        qInstallMessageHandler(g_previousHandler);
        m_home.reset();
    }

    void fileLivesInTheUsersConfigDirectory()
    {
        QCOMPARE(IniSettingsStore("alpha").filePath(), m_home->filePath("alpha/alpha.ini"));

        const QByteArray savedHome = qgetenv("HOME");
        const auto restore = qScopeGuard([&] { qputenv("HOME", savedHome); });
        qunsetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(m_home->path()));
        QCOMPARE(IniSettingsStore("alpha").filePath(), m_home->filePath(".config/alpha/alpha.ini"));
    }

    void valuesRoundTripUnchanged_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString("");
        QTest::newRow("letters") << QString("Schluessel");
        QTest::newRow("decimal comma") << QString("1,5");
        QTest::newRow("comma list") << QString("a, b");
        QTest::newRow("outer spaces") << QString("  padded  ");
        QTest::newRow("ini syntax") << QString("a=b;c [d] \"e\" \\f @g #h");
        QTest::newRow("unicode") << QString("Grüße ☃ 😀");
        QTest::newRow("url with space") << QString("http://h/x y/z");
        QTest::newRow("line break") << QString("one\ntwo");
        QTest::newRow("long text") << QString("Wert, mit; allem = \"drin\" ").repeated(2000);
    }

    void valuesRoundTripUnchanged()
    {
        QFETCH(QString, value);
        IniSettingsStore store("tavrin-connector");
        QVERIFY(saveText(store, "Update", "Url", value));
        QCOMPARE(readText(store, "Update", "Url", "default"), value);
        QCOMPARE(readText(IniSettingsStore("tavrin-connector"), "Update", "Url", "default"), value);
        QVERIFY(g_settingsWarnings.isEmpty());
    }

    // The interface is UTF-8 both ways; a default comes back byte for byte, even
    // when it is not UTF-8.
    void utf8CrossesTheInterface()
    {
        const QByteArray utf8("Gr\xC3\xBC\xC3\x9F"
                              "e \xE2\x98\x83 \xF0\x9F\x98\x80");
        IniSettingsStore store("tavrin-connector");
        QVERIFY(store.save("S", "K", utf8.toStdString()));
        QCOMPARE(readText(store, "S", "K", ""), QString("Grüße ☃ 😀"));
        QCOMPARE(QByteArray::fromStdString(store.read("S", "K", "")), utf8);
        QCOMPARE(QByteArray::fromStdString(IniSettingsStore("tavrin-connector").read("S", "K", "")),
                 utf8);
        const QByteArray notUtf8("\xFF\xFE\xC3raw");
        QCOMPARE(QByteArray::fromStdString(store.read("S", "Absent", notUtf8.toStdString())),
                 notUtf8);
        QVERIFY(g_settingsWarnings.isEmpty());
    }

    void absentValuesGiveTheDefault()
    {
        IniSettingsStore store("tavrin-connector");
        QCOMPARE(readText(store, "Update", "Url", "fallback"), QString("fallback"));
        QVERIFY2(!QFile::exists(store.filePath()), "reading must not create the file");

        QVERIFY(saveText(store, "Update", "Minutes", "5"));
        QCOMPARE(readText(store, "Update", "Url", "fallback"), QString("fallback"));
        QCOMPARE(readText(store, "Other", "Minutes", "fallback"), QString("fallback"));
        QVERIFY(g_settingsWarnings.isEmpty());
    }

    void applicationsKeepSeparateFiles()
    {
        IniSettingsStore alpha("alpha");
        IniSettingsStore beta("beta");
        QVERIFY(saveText(alpha, "S", "K", "from alpha"));
        QVERIFY(saveText(beta, "S", "K", "from beta"));
        QVERIFY(alpha.filePath() != beta.filePath());
        QCOMPARE(readText(IniSettingsStore("alpha"), "S", "K", ""), QString("from alpha"));
        QCOMPARE(readText(IniSettingsStore("beta"), "S", "K", ""), QString("from beta"));
    }

    void fileIsOwnerOnly_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::newRow("new file") << QByteArray();
        QTest::newRow("world-readable file") << QByteArray("[S]\nOther=kept\n");
        QTest::newRow("world-readable file holding the value")
            << QByteArray("[S]\nOther=kept\nKey=secret\n");
    }

    void fileIsOwnerOnly()
    {
        QFETCH(QByteArray, existing);
        IniSettingsStore store("tavrin-connector");
        if (!existing.isNull()) {
            writeFile(store.filePath(), existing);
            QVERIFY(QFile::setPermissions(store.filePath(), QFile::ReadOwner | QFile::WriteOwner |
                                                                QFile::ReadGroup |
                                                                QFile::ReadOther));
        }
        // A permissive umask shows the modes are chosen, not inherited.
        const mode_t savedUmask = umask(0);
        const auto restoreUmask = qScopeGuard([&] { umask(savedUmask); });

        QVERIFY(saveText(store, "S", "Key", "secret"));
        QCOMPARE(modeOf(store.filePath()), 0600);
        if (existing.isNull())
            QCOMPARE(modeOf(QFileInfo(store.filePath()).absolutePath()), 0700);
        else
            QCOMPARE(readText(store, "S", "Other", ""), QString("kept"));
        QVERIFY(saveText(store, "S", "Key", "changed"));
        QCOMPARE(modeOf(store.filePath()), 0600);
    }

    // Start-up saves the stored interval back every time; that must not rewrite the file.
    void savingTheStoredValueLeavesTheFileAlone()
    {
        IniSettingsStore store("tavrin-connector");
        QVERIFY(saveText(store, "S", "Key", "5"));
        const ino_t written = inodeOf(store.filePath());
        QVERIFY(written != 0);
        QVERIFY(saveText(store, "S", "Key", "5"));
        QCOMPARE(inodeOf(store.filePath()), written);
        QVERIFY(saveText(store, "S", "Key", "6"));
        QVERIFY(inodeOf(store.filePath()) != written);
        QCOMPARE(readText(store, "S", "Key", ""), QString("6"));
    }

    void unusableFileGivesDefaultsAndIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("garbage");
        QTest::newRow("binary noise") << QByteArray("\x7f"
                                                    "ELF\x02\x01\x00\x00\xff\xfe=\x01",
                                                    12);
        QTest::newRow("not utf-8") << QByteArray("[S]\nK=\xff\xfe\xfd\n");
    }

    void unusableFileGivesDefaultsAndIsKeptAside()
    {
        QFETCH(QByteArray, garbage);
        IniSettingsStore store("tavrin-connector");
        writeFile(store.filePath(), garbage);

        QCOMPARE(readText(store, "S", "K", "default"), QString("default"));
        QCOMPARE(readText(store, "S", "K", "default"), QString("default"));
        QCOMPARE(g_settingsWarnings.size(), 1);
        QVERIFY(g_settingsWarnings.first().contains(store.filePath()));

        QVERIFY(saveText(store, "S", "K", "secret-value"));
        QCOMPARE(contentsOf(store.filePath() + ".corrupt"), garbage);
        QCOMPARE(readText(store, "S", "K", "default"), QString("secret-value"));
        QCOMPARE(modeOf(store.filePath()), 0600);
        QCOMPARE(modeOf(store.filePath() + ".corrupt") & 077, 0);
        for (const QString &warning : std::as_const(g_settingsWarnings))
            QVERIFY(!warning.contains("secret-value"));
    }

    void unreadableFileIsLeftAlone_data()
    {
        QTest::addColumn<bool>("directoryInItsPlace");
        QTest::newRow("no read permission") << false;
        QTest::newRow("directory in its place") << true;
    }

    void unreadableFileIsLeftAlone()
    {
        QFETCH(bool, directoryInItsPlace);
        IniSettingsStore store("tavrin-connector");
        const QString path = store.filePath();
        if (directoryInItsPlace) {
            QVERIFY(QDir().mkpath(path));
        } else {
            writeFile(path, "[S]\nK=old\n");
            QVERIFY(QFile::setPermissions(path, {}));
        }
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        PermissionBitsEnforced enforced;
        QVERIFY2(!QFile(path).open(QIODevice::ReadOnly), "permission bits are not enforced here");

        QCOMPARE(readText(store, "S", "K", "default"), QString("default"));
        QCOMPARE(readText(store, "S", "K", "default"), QString("default"));
        QCOMPARE(g_settingsWarnings.size(), 1);
        QVERIFY(!saveText(store, "S", "K", "secret-value"));
        QCOMPARE(g_settingsWarnings.size(), 2);
        QVERIFY(!g_settingsWarnings.last().contains("secret-value"));
        QCOMPARE(QFileInfo(path).isDir(), directoryInItsPlace);
        if (!directoryInItsPlace) {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
            QCOMPARE(contentsOf(path), QByteArray("[S]\nK=old\n"));
        }
    }

    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("hasOldFile");
        QTest::addColumn<bool>("readOnlyFile");
        QTest::newRow("read-only directory") << true << false;
        QTest::newRow("read-only directory, first save") << false << false;
        QTest::newRow("read-only file") << true << true;
    }

    void failedSaveKeepsTheOldFile()
    {
        QFETCH(bool, hasOldFile);
        QFETCH(bool, readOnlyFile);
        IniSettingsStore store("tavrin-connector");
        const QString path = store.filePath();
        const QString directory = QFileInfo(path).absolutePath();
        QVERIFY(QDir().mkpath(directory));
        if (hasOldFile)
            QVERIFY(saveText(store, "S", "K", "old"));
        const QByteArray before = contentsOf(path);

        const QString locked = readOnlyFile ? path : directory;
        const QFile::Permissions unlocked = QFile::permissions(locked);
        QVERIFY(QFile::setPermissions(locked, unlocked & ~(QFile::WriteOwner | QFile::WriteUser)));
        const auto restore = qScopeGuard([&] { QFile::setPermissions(locked, unlocked); });
        {
            PermissionBitsEnforced enforced;
            QVERIFY(!saveText(store, "S", "K", "secret-value"));
            QCOMPARE(readText(store, "S", "K", "none"), QString(hasOldFile ? "old" : "none"));
        }
        QCOMPARE(g_settingsWarnings.size(), 1);
        QVERIFY(g_settingsWarnings.first().contains(path));
        QVERIFY(!g_settingsWarnings.first().contains("secret-value"));
        QCOMPARE(QFile::exists(path), hasOldFile);
        QCOMPARE(contentsOf(path), before);
        if (readOnlyFile)
            QCOMPARE(modeOf(path), 0400);
        QCOMPARE(QDir(directory).entryList(QDir::Files | QDir::Hidden).size(), hasOldFile ? 1 : 0);
    }

    // Whatever stands in the file's place that is not our own regular file is
    // never read, written or chmodded; reads give the defaults at once.
    void foreignFileIsLeftExactlyAsItIs_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("symlink to a file") << "link";
        QTest::newRow("symlink to a device") << "link to device";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("directory is a symlink") << "linked directory";
    }

    void foreignFileIsLeftExactlyAsItIs()
    {
        QFETCH(QString, planted);
        IniSettingsStore store("tavrin-connector");
        const QString path = store.filePath();
        const QString directory = QFileInfo(path).absolutePath();
        const QString other = m_home->filePath("other");
        QVERIFY(QDir().mkpath(other));
        writeFile(other + "/tavrin-connector.ini", "[S]\nK=theirs\n");
        QVERIFY(QFile::setPermissions(other + "/tavrin-connector.ini",
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        QVERIFY(QDir().mkpath(directory));
        QString watched = other + "/tavrin-connector.ini";
        if (planted == "link") {
            QVERIFY(QFile::link(watched, path));
        } else if (planted == "link to device") {
            watched = other + "/zero";
            if (mknod(QFile::encodeName(watched).constData(), S_IFCHR | 0644, makedev(1, 5)) != 0)
                watched = "/dev/zero";
            QVERIFY(QFile::link(watched, path));
        } else if (planted == "fifo") {
            watched = path;
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        } else {
            QVERIFY(QDir(directory).removeRecursively());
            QVERIFY(QFile::link(other, directory));
        }
        struct stat before;
        QCOMPARE(stat(QFile::encodeName(watched).constData(), &before), 0);
        const QByteArray contents = S_ISREG(before.st_mode) ? contentsOf(watched) : QByteArray();

        QCOMPARE(readText(store, "S", "K", "default"), QString("default"));
        QCOMPARE(readText(store, "S", "K", "default"), QString("default"));
        QCOMPARE(g_settingsWarnings.size(), 1);
        QVERIFY(g_settingsWarnings.first().contains(path));
        QVERIFY(!saveText(store, "S", "K", "secret-value"));
        QCOMPARE(g_settingsWarnings.size(), 2);
        QVERIFY(!g_settingsWarnings.last().contains("secret-value"));
        QCOMPARE(readText(store, "S", "K", "default"), QString("default"));

        struct stat after;
        QCOMPARE(stat(QFile::encodeName(watched).constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_rdev, before.st_rdev);
        if (S_ISREG(before.st_mode))
            QCOMPARE(contentsOf(watched), contents);
        struct stat link;
        QCOMPARE(
            lstat(QFile::encodeName(planted == "linked directory" ? directory : path).constData(),
                  &link),
            0);
        QCOMPARE(S_ISFIFO(link.st_mode), planted == "fifo");
        QCOMPARE(S_ISLNK(link.st_mode), planted != "fifo");
        QCOMPARE(QDir(other).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
                 planted == "link to device" && watched != "/dev/zero" ? 2 : 1);
    }

    // Too large to be settings: not read past the limit, kept aside like a damaged file.
    void oversizedFileIsKeptAside()
    {
        IniSettingsStore store("tavrin-connector");
        const QByteArray large =
            "[S]\nK=big\n" + QByteArray("; padding\n").repeated(2 * 1024 * 1024 / 10);
        writeFile(store.filePath(), large);
        QCOMPARE(readText(store, "S", "K", "default"), QString("default"));
        QCOMPARE(g_settingsWarnings.size(), 1);
        QVERIFY(g_settingsWarnings.first().contains("1 MiB"));
        QVERIFY(saveText(store, "S", "K", "small"));
        QCOMPARE(contentsOf(store.filePath() + ".corrupt"), large);
        QCOMPARE(readText(store, "S", "K", "default"), QString("small"));
        QCOMPARE(modeOf(store.filePath()), 0600);
    }

    // A save never waits long for a lock someone else holds: it keeps the
    // value (read sees it), and writes it with the next save once the lock is free.
    void heldLockDefersTheSave()
    {
        IniSettingsStore store("tavrin-connector");
        QVERIFY(saveText(store, "S", "Key", "first"));
        const QByteArray before = contentsOf(store.filePath());
        auto holder = std::make_unique<QLockFile>(store.filePath() + ".lock");
        QVERIFY(holder->tryLock(0));

        QVERIFY(!saveText(store, "S", "Key", "second"));
        QCOMPARE(readText(store, "S", "Key", ""), QString("second"));
        QCOMPARE(readText(IniSettingsStore("tavrin-connector"), "S", "Key", ""), QString("first"));
        QCOMPARE(contentsOf(store.filePath()), before);
        QVERIFY(!saveText(store, "S", "Other", "x"));
        QCOMPARE(g_settingsWarnings.size(), 1);
        QVERIFY(g_settingsWarnings.first().contains("locked"));

        holder.reset();
        QVERIFY(saveText(store, "S", "Third", "y"));
        IniSettingsStore fresh("tavrin-connector");
        QCOMPARE(readText(fresh, "S", "Key", ""), QString("second"));
        QCOMPARE(readText(fresh, "S", "Other", ""), QString("x"));
        QCOMPARE(readText(fresh, "S", "Third", ""), QString("y"));
    }

    // Values still waiting for the lock are written when the store goes away.
    void pendingValuesAreWrittenAtTheEnd()
    {
        auto store = std::make_unique<IniSettingsStore>("tavrin-connector");
        const QString path = store->filePath();
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        {
            QLockFile holder(path + ".lock");
            QVERIFY(holder.tryLock(0));
            QVERIFY(!saveText(*store, "S", "Key", "kept"));
        }
        store.reset();
        QCOMPARE(readText(IniSettingsStore("tavrin-connector"), "S", "Key", ""), QString("kept"));
        QCOMPARE(modeOf(path), 0600);
    }

    // Saving keeps what others put in the file, lines it does not understand
    // included: they are no reason to set the file aside.
    void otherLinesSurviveASave()
    {
        IniSettingsStore store("tavrin-connector");
        const QByteArray foreign = "; by hand\n# note\njust words\n[S\n\"K=v\"\n[S]\nKey=old\n"
                                   "Number=@Variant(\\0\\0\\0\\x2)\n[T]\nK=v\n";
        writeFile(store.filePath(), foreign);
        QCOMPARE(readText(store, "S", "Key", ""), QString("old"));
        QVERIFY(saveText(store, "S", "Key", "new"));
        QCOMPARE(contentsOf(store.filePath()), QByteArray(foreign).replace("Key=old", "Key=new"));
        QVERIFY(!QFile::exists(store.filePath() + ".corrupt"));
        QVERIFY(g_settingsWarnings.isEmpty());
    }

    // Temporary files of saves a kill cut short hold the key: opening the store
    // removes them, unless another writer holds the lock, and nothing else.
    void leftoversOfKilledSavesGoAtOpen()
    {
        const QString path = IniSettingsStore("tavrin-connector").filePath();
        const QStringList leftovers = {path + ".tmp-41-7-0", path + ".tmp-1-22-333"};
        const QStringList others = {path + ".tmp-41-7", path + ".tmp-1-2-3x", path + ".tmp-mine",
                                    path + ".corrupt"};
        for (const QString &file : leftovers + others)
            writeFile(file, "[S]\nKey=secret\n");
        {
            QLockFile holder(path + ".lock");
            QVERIFY(holder.tryLock(0));
            IniSettingsStore store("tavrin-connector");
            QVERIFY(QFile::exists(leftovers.first()));
        }
        IniSettingsStore store("tavrin-connector");
        for (const QString &file : leftovers)
            QVERIFY2(!QFile::exists(file), qPrintable(file));
        for (const QString &file : others)
            QVERIFY2(QFile::exists(file), qPrintable(file));
        QVERIFY(!QFile::exists(path + ".lock"));
    }
};

QTEST_GUILESS_MAIN(TestIniSettingsStore)
#include "tst_inisettingsstore.moc"
