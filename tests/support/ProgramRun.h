#ifndef TAVRIN_SUPPORT_PROGRAMRUN_H
#define TAVRIN_SUPPORT_PROGRAMRUN_H

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// One run of the real program on the offscreen platform, with its own config
// directory, its own runtime directory, no session bus but the one it is given
// and every tavrin.* log line captured (stdout and stderr together) with the
// time it arrived.
class ProgramRun : public QObject
{
    Q_OBJECT
public:
    struct LogLine
    {
        qint64 atMs; // since start()
        QString text;
    };

    explicit ProgramRun(const QString &configHome, QObject *parent = nullptr);
    ~ProgramRun() override;

    static QString programPath();
    static QString settingsPath(const QString &configHome);
    // Writes the settings the program reads at start, owner-only as the program keeps them.
    // A null interval is left out, so start-up saves the default.
    static bool seedSettings(const QString &configHome, const QString &updateUrl,
                             const QString &interval);

    // Runs in the child between fork and exec.
    void setChildSetup(std::function<void()> setup) { m_childSetup = std::move(setup); }
    // The session bus to run on (DBUS_SESSION_BUS_ADDRESS); none when empty.
    void setBusAddress(const QString &address) { m_busAddress = address; }

    // Runs the test build instead, its time scale times as fast (TAVRIN_TIME_SCALE),
    // under the program's own name so that it uses the same settings.
    void setTimeScale(double scale) { m_timeScale = scale; }

    bool start();
    void kill(); // SIGKILL, then waits for the end
    void stop(); // SIGTERM; SIGKILL when still there after 3 s
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    qint64 msSinceStart() const { return m_clock.elapsed(); }

    QList<LogLine> lines() const { return m_lines; }
    QByteArray output() const { return m_output; }
    // The first line holding fragment; waits up to timeoutMs for it.
    bool waitForLine(const QString &fragment, int timeoutMs);
    // Waits up to timeoutMs for the program to end by itself; true when it ended with status 0.
    bool waitForEnd(int timeoutMs);
    bool hasLine(const QString &fragment) const;

private:
    void readOutput();

    QString m_configHome;
    QTemporaryDir m_runtimeDir;
    QString m_busAddress;
    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_output;
    QByteArray m_partial;
    QList<LogLine> m_lines;
    std::function<void()> m_childSetup;
    double m_timeScale = 0.0; // 0: the program itself
    std::unique_ptr<QTemporaryDir> m_linkDir;
};

#endif
