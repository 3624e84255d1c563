#include "app/SingleInstance.h"

#include "app/AppLog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace {

// How long a later start waits, in all, for the running program to take its request.
constexpr int kHandOverMilliseconds = 1500;
// Pause between attempts to reach a lock holder that is not listening yet.
constexpr unsigned long kRetryMilliseconds = 20;
// A request is one short line; a client that sends more is not one of ours.
constexpr qint64 kMaxRequestLength = 64;

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kAcknowledgement = QByteArrayLiteral("ok\n");

int remaining(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

} // namespace

SingleInstance::SingleInstance(const QString &key, QObject *parent)
    : SingleInstance(key, runtimeDirectory(), parent)
{
}

SingleInstance::SingleInstance(const QString &key, const QString &directory, QObject *parent)
    : QObject(parent), m_key(key), m_directory(directory)
{
}

SingleInstance::~SingleInstance()
{
    // Closing the server deletes the socket file by name; done after the lock is
    // released, it could delete the socket of a program that started meanwhile.
    delete m_server;
    m_server = nullptr;
    m_lock.reset();
}

QString SingleInstance::runtimeDirectory()
{
    // Both are per user, so the same executable name under two users never meets.
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return directory;
}

QString SingleInstance::lockFilePath() const
{
    return m_directory + u'/' + m_key + QStringLiteral(".lock");
}

QString SingleInstance::socketPath() const
{
    return m_directory + u'/' + m_key + QStringLiteral(".socket");
}

SingleInstance::Outcome SingleInstance::claim()
{
    if (m_lock)
        return Outcome::Primary;
    // Failing to guard must not keep the program from running at all.
    if (m_directory.isEmpty() || !QDir().mkpath(m_directory)) {
        qCWarning(lcApp) << "no directory for the instance lock; running unguarded";
        return Outcome::Primary;
    }
    auto lock = std::make_unique<QLockFile>(lockFilePath());
    // The program runs for days, so a lock's age says nothing; only a lock whose
    // process is gone is stale, and tryLock() removes that one itself.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        listen();
        return Outcome::Primary;
    }
    if (lock->error() != QLockFile::LockFailedError) {
        qCWarning(lcApp) << "cannot create the instance lock" << lockFilePath()
                         << "; running unguarded";
        return Outcome::Primary;
    }
    return handOver();
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    // Only this user may ask, even where the directory is open to others.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a program that died would make listen() fail; holding
    // the lock makes it ours to replace.
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath())) {
        qCWarning(lcApp) << "cannot listen for later starts at" << socketPath() << ":"
                         << m_server->errorString();
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection())
            serve(client);
    });
    return true;
}

void SingleInstance::serve(QLocalSocket *client)
{
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
        while (client->canReadLine()) {
            const QByteArray request = client->readLine(kMaxRequestLength + 1);
            if (request != kShowRequest) {
                qCWarning(lcApp) << "dropping a client with an unknown request";
                client->abort();
                return;
            }
            qCInfo(lcApp) << "a later start asks to show the window";
            // Answer first: the asking process waits for it before it ends.
            client->write(kAcknowledgement);
            client->flush();
            Q_EMIT showRequested();
        }
        if (client->bytesAvailable() > kMaxRequestLength) {
            qCWarning(lcApp) << "dropping a client with an overlong request";
            client->abort();
        }
    });
}

SingleInstance::Outcome SingleInstance::handOver()
{
    const QDeadlineTimer deadline(kHandOverMilliseconds);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(remaining(deadline)))
            break;
        // The holder may have taken the lock a moment ago and not listen yet.
        if (deadline.hasExpired()) {
            qCWarning(lcApp) << "another instance holds" << lockFilePath()
                             << "but cannot be reached:" << socket.errorString();
            return Outcome::NoAnswer;
        }
        QThread::msleep(kRetryMilliseconds);
    }
    socket.write(kShowRequest);
    socket.waitForBytesWritten(remaining(deadline));
    while (!socket.canReadLine() && socket.waitForReadyRead(remaining(deadline))) {
    }
    if (socket.canReadLine() && socket.readLine() == kAcknowledgement) {
        qCInfo(lcApp) << "another instance is running; asked it to show its window";
        return Outcome::HandedOver;
    }
    qCWarning(lcApp) << "another instance holds" << lockFilePath() << "but did not answer";
    return Outcome::NoAnswer;
}
