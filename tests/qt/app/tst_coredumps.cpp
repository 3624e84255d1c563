#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// The real program switches core dumps off for itself: its memory holds the
// user's key, which a core file would keep on disk.
class tst_CoreDumps : public QObject
{
    Q_OBJECT

private:
    // The "Max core file size" line of /proc/<pid>/limits: soft and hard limit.
    static QByteArray coreLimits(pid_t pid)
    {
        QFile file(QStringLiteral("/proc/%1/limits").arg(pid));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("Max core file size"))
                return line.mid(26).simplified();
        }
        return {};
    }

private Q_SLOTS:
    void program_crashesWithoutCoreFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray config = QFile::encodeName(dir.filePath(QStringLiteral("config")));
        const QByteArray runtime = QFile::encodeName(dir.filePath(QStringLiteral("runtime")));
        // Owner-only, or the runtime directory is refused for a shared fallback.
        QVERIFY(QDir().mkpath(QString::fromLocal8Bit(runtime)));
        QVERIFY(QFile::setPermissions(QString::fromLocal8Bit(runtime),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            // The child starts with core dumps allowed as far as the hard limit
            // permits, so only the program itself can switch them off.
            rlimit limit{};
            getrlimit(RLIMIT_CORE, &limit);
            limit.rlim_cur = limit.rlim_max;
            setrlimit(RLIMIT_CORE, &limit);
            if (chdir(QFile::encodeName(dir.path()).constData()) != 0)
                _exit(127);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("XDG_CONFIG_HOME", config.constData(), 1);
            setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
            execl(TAVRIN_PROGRAM_PATH, TAVRIN_PROGRAM_PATH, static_cast<char *>(nullptr));
            _exit(127);
        }

        // A failed check must not leave the program running.
        struct Reaper
        {
            pid_t pid;
            ~Reaper()
            {
                if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
                    kill(pid, SIGKILL);
                    waitpid(pid, nullptr, 0);
                }
            }
        } reaper{pid};

        // The limit is lowered first thing at start; wait (bounded) until it shows.
        QByteArray limits;
        QTRY_VERIFY_WITH_TIMEOUT((limits = coreLimits(pid)).startsWith("0 0"), 10000);

        QCOMPARE(kill(pid, SIGSEGV), 0);
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        reaper.pid = 0;
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGSEGV);
        QVERIFY(!WCOREDUMP(status));
        const QStringList left = QDir(dir.path()).entryList({QStringLiteral("core*")});
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(tst_CoreDumps)
#include "tst_coredumps.moc"
