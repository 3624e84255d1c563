#include "app/CommandLine.h"
#include "qt/settings/IniSettingsStore.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(CommandLine::Request)

// The switches' decision and paths as plain functions, then the real program
// answering them with no display, no settings and no instance lock.
class tst_CommandLine : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString configHome() const { return m_dir->filePath(QStringLiteral("config")); }
    QString runtimeDir() const { return m_dir->filePath(QStringLiteral("runtime")); }

    // The program as a user starts it from a terminal: no display of any kind.
    void runProgram(QProcess &process, const QString &program, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    }

    QStringList entries(const QString &directory) const
    {
        return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkdir(configHome()));
        QVERIFY(QDir().mkdir(runtimeDir()));
    }

    void request_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<CommandLine::Request>("expected");
        using R = CommandLine::Request;
        QTest::newRow("none") << QStringList() << R::Run;
        QTest::newRow("/a") << QStringList{"/a"} << R::Run;
        QTest::newRow("unknown word") << QStringList{"hello"} << R::Run;
        QTest::newRow("--help") << QStringList{"--help"} << R::Help;
        QTest::newRow("-h") << QStringList{"-h"} << R::Help;
        QTest::newRow("/?") << QStringList{"/?"} << R::Help;
        QTest::newRow("--version") << QStringList{"--version"} << R::Version;
        QTest::newRow("help after /a") << QStringList{"/a", "--help"} << R::Help;
        QTest::newRow("help wins over version") << QStringList{"--version", "-h"} << R::Help;
        QTest::newRow("upper case is a word") << QStringList{"--HELP"} << R::Run;
        QTest::newRow("with a value is a word") << QStringList{"--help=all"} << R::Run;
        QTest::newRow("single dash version") << QStringList{"-version"} << R::Run;
        QTest::newRow("in a longer argument") << QStringList{"/a --help"} << R::Run;
    }

    void request()
    {
        QFETCH(QStringList, arguments);
        QFETCH(CommandLine::Request, expected);
        std::vector<std::string> plain;
        for (const QString &argument : arguments)
            plain.push_back(argument.toStdString());
        QCOMPARE(CommandLine::request(plain), expected);
    }

    // The executable's name addresses its settings and its single instance.
    void programName_data()
    {
        QTest::addColumn<QString>("programPath");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare name") << QString("tavrin-connector") << QString("tavrin-connector");
        QTest::newRow("unix path") << QString("/usr/bin/foo") << QString("foo");
        QTest::newRow("exe in any case") << QString("C:/x/Foo.EXE") << QString("Foo");
        QTest::newRow("backslashes") << QString("C:\\x\\Foo.exe") << QString("Foo");
        QTest::newRow("mixed separators") << QString("C:\\x/y\\tavrin") << QString("tavrin");
        QTest::newRow("other dots kept")
            << QString("./tavrin.connector-1.2") << QString("tavrin.connector-1.2");
        QTest::newRow("only the last .exe") << QString("foo.exe.exe") << QString("foo.exe");
        QTest::newRow("exe inside the name") << QString("foo.exec") << QString("foo.exec");
        QTest::newRow("non-ASCII") << QString("/opt/Übung/prüfer.exe") << QString("prüfer");
        QTest::newRow("empty") << QString("") << QString("tavrin-connector");
        QTest::newRow("nothing left") << QString("/opt/.exe") << QString("tavrin-connector");
        QTest::newRow("directory only") << QString("/usr/bin/") << QString("tavrin-connector");
    }

    void programName()
    {
        QFETCH(QString, programPath);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(CommandLine::programName(programPath.toStdString())),
                 expected);
    }

    void settingsPathMatchesSettingsStore_data()
    {
        QTest::addColumn<QByteArray>("xdgConfigHome");
        QTest::addColumn<QByteArray>("home");
        QTest::newRow("XDG_CONFIG_HOME") << QByteArray("/srv/conf") << QByteArray("/home/u");
        QTest::newRow("XDG_CONFIG_HOME with slash") << QByteArray("/srv/conf/") << QByteArray("");
        QTest::newRow("empty XDG_CONFIG_HOME") << QByteArray("") << QByteArray("/home/u");
        QTest::newRow("home with slash") << QByteArray("") << QByteArray("/home/u/");
        QTest::newRow("no home") << QByteArray("") << QByteArray("");
        QTest::newRow("relative XDG_CONFIG_HOME")
            << QByteArray("rel/conf") << QByteArray("/home/u");
    }

    void settingsPathMatchesSettingsStore()
    {
        QFETCH(QByteArray, xdgConfigHome);
        QFETCH(QByteArray, home);
        const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("XDG_CONFIG_HOME", xdgConfigHome);
        qputenv("HOME", home);
        const QString expected = IniSettingsStore(QStringLiteral("tavrin-x")).filePath();
        qputenv("XDG_CONFIG_HOME", savedXdg);
        qputenv("HOME", savedHome);
        const std::string actual =
            CommandLine::settingsPath("tavrin-x", xdgConfigHome.constData(), home.constData());
        QCOMPARE(QDir::cleanPath(QString::fromStdString(actual)), QDir::cleanPath(expected));
    }

    void programAnswersWithoutStarting_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("firstLine");
        const QString version = QStringLiteral("tavrin-connector " TAVRIN_VERSION);
        QTest::newRow("--help") << QStringList{"--help"} << "Aufruf: tavrin-connector [/a]";
        QTest::newRow("-h") << QStringList{"-h"} << "Aufruf: tavrin-connector [/a]";
        QTest::newRow("help after /a")
            << QStringList{"/a", "--help"} << "Aufruf: tavrin-connector [/a]";
        QTest::newRow("--version") << QStringList{"--version"} << version;
    }

    void programAnswersWithoutStarting()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, firstLine);
        QProcess process;
        runProgram(process, QStringLiteral(TAVRIN_PROGRAM), arguments);
        QCOMPARE(process.exitCode(), 0);
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QCOMPARE(output.section(u'\n', 0, 0), firstLine);
        QCOMPARE(process.readAllStandardError(), QByteArray());
        QCOMPARE(entries(configHome()), QStringList());
        QCOMPARE(entries(runtimeDir()), QStringList());
    }

    void helpNamesThisProgramsSettings()
    {
        const QString link = m_dir->filePath(QStringLiteral("tavrin-work"));
        QVERIFY(QFile::link(QStringLiteral(TAVRIN_PROGRAM), link));
        QProcess process;
        runProgram(process, link, {QStringLiteral("--help")});
        QCOMPARE(process.exitCode(), 0);
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(output.contains(QStringLiteral("Einstellungen: ") + configHome() +
                                 QStringLiteral("/tavrin-work/tavrin-work.ini\n")),
                 qPrintable(output));
        // German text survives as UTF-8.
        QVERIFY2(output.contains(QStringLiteral("Hält")), qPrintable(output));
        QVERIFY(output.contains(QStringLiteral("QT_LOGGING_RULES")));
        QCOMPARE(entries(configHome()), QStringList());
    }

    void unwritableAnswerFails()
    {
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        runProgram(process, QStringLiteral(TAVRIN_PROGRAM), {QStringLiteral("--version")});
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().contains("Ausgabe konnte nicht geschrieben"));
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
