#ifndef TAVRIN_QT_APP_SINGLEINSTANCE_H
#define TAVRIN_QT_APP_SINGLEINSTANCE_H

#include "qt/app/InstanceServer.h"

#include <QObject>
#include <QString>

#include <string>

class QDeadlineTimer;
class QThread;

// Keeps one running program per instance key (the executable's base name, which
// also addresses its settings) and user. The first start locks a file in the
// user's runtime directory and listens on a local socket beside it; a later
// start finds the file locked, asks the running program over that socket to
// show its window and is to end without doing anything else.
//
// Who runs is settled by a lock on the open file (flock), which ends with its
// process however it ends, so nothing a previous run left on disk can keep a
// start from running: a lock file nobody holds is taken whatever it contains,
// and a holder that does not answer within about a second hangs and is taken
// over. Claims go one at a time (a second lock file), so starts racing each
// other still end with one program.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Outcome
    {
        // This process is the running program (or could not take part, see claim()).
        Primary,
        // Another process runs under this key and was asked to show its window.
        HandedOver
    };

    struct Timing
    {
        int answerMs = 1000; // how long a later start waits for the running one
        InstanceServer::Limits server;
    };

    // Lock and socket go to runtimeDirectory() of this user.
    explicit SingleInstance(const QString &key, QObject *parent = nullptr);
    // Lock and socket go to the given directory.
    SingleInstance(const QString &key, const QString &directory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Before claim(): other waits than the program's.
    void setTiming(const Timing &timing) { m_timing = timing; }

    // Takes the lock and starts listening, or hands over to the process holding
    // it. Blocks for at most about a second, and only when another process holds
    // the lock; a holder that does not answer is taken over. Where no lock can be
    // made at all (no writable directory), the program runs unguarded: the
    // outcome is Primary.
    Outcome claim();

    // The user's runtime directory ($XDG_RUNTIME_DIR when usable); the user's
    // cache directory when there is none.
    static QString runtimeDirectory();

    QString lockFilePath() const;
    QString socketPath() const;

Q_SIGNALS:
    // A later start asked this (primary) process to show its window.
    void showRequested();

private:
    enum class Acquired
    {
        Yes,
        HeldByOther,
        Replaced, // the file was removed or replaced while we locked it; try again
        Failed
    };

    Acquired acquire(std::string *previous, int *error);
    bool replaceLock();
    bool handOver(const QDeadlineTimer &deadline);
    bool stillPrimary();
    void writeRecord();
    void listen();

    QString m_key;
    QString m_directory;
    Timing m_timing;
    int m_lockFd = -1;
    QThread *m_thread = nullptr;
    InstanceServer *m_server = nullptr;
};

#endif
