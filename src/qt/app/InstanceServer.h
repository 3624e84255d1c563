#ifndef TAVRIN_QT_APP_INSTANCESERVER_H
#define TAVRIN_QT_APP_INSTANCESERVER_H

#include <QObject>
#include <QString>

#include <deque>
#include <functional>

class QLocalSocket;
class QSocketNotifier;
class QTimer;

// The running program's end of the single-instance socket: answers "show\n"
// with "ok\n" and passes the request on as showRequested().
//
// It runs in a thread of its own, so a later start gets its answer even while
// the user-interface thread is still starting up or busy; a process that does
// not answer is one that hangs, and a later start takes over from it.
//
// The number of connections is bounded and each lives a few seconds at most,
// so clients that connect and send nothing cannot use up the process's file
// descriptors. When accept() fails anyway (out of descriptors) the server waits
// and tries again instead of closing, and a socket file that was removed or
// replaced is made again. The directory is watched (inotify), so the files are
// checked only when something happens to them; where it cannot be watched they
// are checked now and then instead.
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        int idleMs = 3000; // a connection is closed this long after it came
        // How often the socket and lock files are checked while their directory
        // cannot be watched: rarely, as each check wakes the process.
        int checkMs = 300000;
        bool watchDirectory = true; // false: check every checkMs instead
        int maxConnections = 16;    // more close the oldest one
    };

    // Which file a path names, to tell our socket file from one put in its place.
    struct FileId
    {
        unsigned long long device = 0;
        unsigned long long inode = 0;
    };

    // Takes over listenFd, a socket listening at path made by bindSocket().
    // stillPrimary() is asked at each check, in this server's thread; when it
    // says no (another start took over), the socket file is left alone.
    InstanceServer(const QString &path, int listenFd, FileId file, const Limits &limits,
                   std::function<bool()> stillPrimary);
    ~InstanceServer() override;

    // A listening socket at path, with only this user allowed to connect, or -1
    // and a reason. It is bound under a temporary name and renamed into place,
    // which also replaces whatever a previous run left at path.
    static int bindSocket(const QString &path, FileId *file, QString *error);

public Q_SLOTS:
    // Starts serving; called in the thread the server was moved to.
    void start();

Q_SIGNALS:
    void showRequested();

private:
    void acceptAll();
    void serve(QLocalSocket *client);
    void drop(QLocalSocket *client);
    void check();
    void watch(int listenFd);
    // Watches the socket's directory for changes to our files; false if it cannot.
    // The notifier is made in start(), in the server's thread.
    bool watchDirectory();
    void directoryChanged();

    QString m_path;
    int m_fd = -1;
    FileId m_file;
    Limits m_limits;
    std::function<bool()> m_stillPrimary;
    QSocketNotifier *m_notifier = nullptr;
    int m_inotifyFd = -1;
    QSocketNotifier *m_directoryNotifier = nullptr;
    QTimer *m_checkTimer = nullptr;
    QTimer *m_acceptRetry = nullptr;
    std::deque<QLocalSocket *> m_clients;
    bool m_reportedCrowd = false;
    bool m_reportedAcceptError = false;
    bool m_reportedNotPrimary = false;
};

#endif
