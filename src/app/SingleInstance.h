#ifndef TAVRIN_APP_SINGLEINSTANCE_H
#define TAVRIN_APP_SINGLEINSTANCE_H

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// Keeps one running program per instance key (the executable's base name, which
// also addresses its settings) and user. The first start takes a lock file in the
// user's runtime directory and listens on a local socket beside it; a later start
// finds the lock taken, asks the running program over that socket to show its
// window and is to end without doing anything else.
//
// A lock left by a program that died (kill -9, crash) names a process that no
// longer runs and is taken over; its socket file is replaced.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Outcome
    {
        // This process is the running program (or could not take part, see claim()).
        Primary,
        // Another process runs under this key and was asked to show its window.
        HandedOver,
        // Another process holds the lock but did not answer in time.
        NoAnswer
    };

    // Lock and socket go to runtimeDirectory() of this user.
    explicit SingleInstance(const QString &key, QObject *parent = nullptr);
    // Lock and socket go to the given directory.
    SingleInstance(const QString &key, const QString &directory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening, or hands over to the process holding
    // it. Blocks for at most about a second and a half, and only when another
    // process holds the lock. Where no lock can be made at all (no writable
    // directory), the program runs unguarded: the outcome is Primary.
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
    Outcome handOver();
    bool listen();
    void serve(QLocalSocket *client);

    QString m_key;
    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

#endif
