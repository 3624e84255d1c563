#include "qt/app/SingleInstance.h"

#include "app/InstanceLockRecord.h"
#include "qt/app/AppLog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Pause between attempts to reach a lock holder that is not listening yet.
constexpr unsigned long kRetryMilliseconds = 20;
// More than a lock record ever holds; the rest of a larger file is not read.
constexpr ssize_t kMaxRecordLength = 4096;
// Rounds of locking a lock file that is replaced under us each time.
constexpr int kMaxAttempts = 10;

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kAcknowledgement = QByteArrayLiteral("ok\n");

int remaining(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

std::string readRecord(int fd)
{
    std::string text(kMaxRecordLength, '\0');
    const ssize_t length = ::pread(fd, text.data(), text.size(), 0);
    text.resize(length > 0 ? size_t(length) : 0);
    return text;
}

// Whether fd is still the file at path (not removed or replaced meanwhile).
bool isFileAt(int fd, const QByteArray &path)
{
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::lstat(path.constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Held while a start decides whether it runs, so that two starts never both
// find a holder hung and both take over; released at the end of the claim.
class ClaimTurn
{
public:
    ClaimTurn(const QByteArray &path, int waitMs)
    {
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                      S_IRUSR | S_IWUSR);
        struct stat status;
        if (m_fd < 0 || ::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            release();
            return;
        }
        const QDeadlineTimer deadline(waitMs);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
                release();
                return;
            }
            QThread::msleep(kRetryMilliseconds);
        }
    }
    ~ClaimTurn() { release(); }
    ClaimTurn(const ClaimTurn &) = delete;
    ClaimTurn &operator=(const ClaimTurn &) = delete;

    bool held() const { return m_fd >= 0; }

private:
    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
};

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
    // The socket goes first: removed after the lock, it could be the socket of
    // a program that started meanwhile. Each is removed only while it is ours.
    if (m_thread) {
        if (m_thread->isRunning()) {
            QMetaObject::invokeMethod(
                m_server, [server = m_server] { delete server; }, Qt::BlockingQueuedConnection);
            m_thread->quit();
            m_thread->wait();
        } else {
            delete m_server;
        }
        m_server = nullptr;
    }
    if (m_lockFd >= 0) {
        const QByteArray path = QFile::encodeName(lockFilePath());
        if (isFileAt(m_lockFd, path))
            ::unlink(path.constData());
        ::close(m_lockFd);
    }
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
    if (m_lockFd >= 0)
        return Outcome::Primary;
    // Failing to guard must not keep the program from running at all.
    if (m_directory.isEmpty() || !QDir().mkpath(m_directory)) {
        qCWarning(lcApp) << "no directory for the instance lock; running unguarded";
        return Outcome::Primary;
    }
    const ClaimTurn turn(QFile::encodeName(m_directory + u'/' + m_key + QStringLiteral(".claim")),
                         m_timing.answerMs + 2000);
    if (!turn.held())
        qCWarning(lcApp) << "another start does not finish its claim; going on without it";

    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        std::string previous;
        int error = 0;
        switch (acquire(&previous, &error)) {
        case Acquired::Yes:
            writeRecord();
            listen();
            return Outcome::Primary;
        case Acquired::Replaced:
            continue;
        case Acquired::Failed:
            qCWarning(lcApp) << "cannot use the instance lock file" << lockFilePath() << ":"
                             << systemError(error) << "; replacing it";
            break;
        case Acquired::HeldByOther:
            if (handOver(QDeadlineTimer(m_timing.answerMs)))
                return Outcome::HandedOver;
            qCWarning(lcApp).noquote()
                << QStringLiteral("the instance holding the lock (%1) did not answer within %2 "
                                  "ms; taking over")
                       .arg(QString::fromStdString(InstanceLockRecord::describeHolder(previous)))
                       .arg(m_timing.answerMs);
            break;
        }
        if (!replaceLock()) {
            qCWarning(lcApp) << "cannot replace the instance lock" << lockFilePath()
                             << "; running unguarded";
            return Outcome::Primary;
        }
        listen();
        return Outcome::Primary;
    }
    qCWarning(lcApp) << "the instance lock file keeps changing; running unguarded";
    return Outcome::Primary;
}

SingleInstance::Acquired SingleInstance::acquire(std::string *previous, int *error)
{
    const QByteArray path = QFile::encodeName(lockFilePath());
    // O_NONBLOCK: opening what is not a regular file (a FIFO) must not hang the start.
    constexpr int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    bool existed = false;
    int fd = ::open(path.constData(), flags | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
    if (fd < 0 && errno == EEXIST) {
        existed = true;
        fd = ::open(path.constData(), flags);
        if (fd < 0 && errno == ENOENT)
            return Acquired::Replaced;
    }
    if (fd < 0) {
        *error = errno;
        return Acquired::Failed;
    }
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = EINVAL; // not a regular file (a FIFO, a device)
        ::close(fd);
        return Acquired::Failed;
    }
    *previous = readRecord(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = errno;
        ::close(fd);
        return *error == EWOULDBLOCK ? Acquired::HeldByOther : Acquired::Failed;
    }
    // Locked a file that its holder removed on exit, or another start replaced.
    if (!isFileAt(fd, path)) {
        ::close(fd);
        return Acquired::Replaced;
    }
    if (existed) {
        qCWarning(lcApp).noquote() << "taking over the instance lock:"
                                   << QString::fromStdString(InstanceLockRecord::leftoverReason(
                                          *previous, QSysInfo::machineHostName().toStdString()));
    }
    m_lockFd = fd;
    return Acquired::Yes;
}

bool SingleInstance::replaceLock()
{
    const QByteArray path = QFile::encodeName(lockFilePath());
    const QByteArray temporary =
        path + ".new" + QByteArray::number(QCoreApplication::applicationPid());
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    // A new file nobody else has opened: this lock cannot fail.
    ::flock(fd, LOCK_EX | LOCK_NB);
    const int previousFd = m_lockFd;
    m_lockFd = fd;
    writeRecord();
    // The hung holder keeps its lock on the file it opened, which leaves the path.
    if (::rename(temporary.constData(), path.constData()) != 0) {
        ::unlink(temporary.constData());
        ::close(fd);
        m_lockFd = previousFd;
        return false;
    }
    if (previousFd >= 0)
        ::close(previousFd);
    return true;
}

void SingleInstance::writeRecord()
{
    InstanceLockRecord record;
    record.pid = QCoreApplication::applicationPid();
    record.application = QCoreApplication::applicationName().toStdString();
    record.host = QSysInfo::machineHostName().toStdString();
    const std::string text = record.format();
    if (::ftruncate(m_lockFd, 0) != 0 ||
        ::pwrite(m_lockFd, text.data(), text.size(), 0) != ssize_t(text.size()))
        qCWarning(lcApp) << "cannot write the instance lock file:" << systemError(errno);
}

bool SingleInstance::stillPrimary()
{
    const QByteArray path = QFile::encodeName(lockFilePath());
    if (m_lockFd < 0 || isFileAt(m_lockFd, path))
        return true;
    // Removed, or replaced by another start that found this process hung: take
    // the lock file again unless a live process holds what is there now.
    const int ours = m_lockFd;
    m_lockFd = -1;
    std::string previous;
    int error = 0;
    const Acquired acquired = acquire(&previous, &error);
    if (acquired == Acquired::Yes) {
        qCWarning(lcApp) << "the instance lock file" << lockFilePath()
                         << "was removed or replaced; locked it again";
        writeRecord();
        ::close(ours);
        return true;
    }
    m_lockFd = ours;
    return acquired != Acquired::HeldByOther;
}

void SingleInstance::listen()
{
    QString error;
    InstanceServer::FileId file;
    const int fd = InstanceServer::bindSocket(socketPath(), &file, &error);
    if (fd < 0) {
        qCWarning(lcApp) << "cannot listen for later starts at" << socketPath() << ":" << error;
        return;
    }
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("instance server"));
    m_server = new InstanceServer(socketPath(), fd, file, m_timing.server,
                                  [this] { return stillPrimary(); });
    m_server->moveToThread(m_thread);
    // Queued: the request arrives in the server's thread, the window lives in ours.
    connect(m_server, &InstanceServer::showRequested, this, &SingleInstance::showRequested);
    connect(m_thread, &QThread::started, m_server, &InstanceServer::start);
    m_thread->start();
}

bool SingleInstance::handOver(const QDeadlineTimer &deadline)
{
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(remaining(deadline))) {
            socket.write(kShowRequest);
            socket.waitForBytesWritten(remaining(deadline));
            while (!socket.canReadLine() && socket.waitForReadyRead(remaining(deadline))) {
            }
            if (socket.canReadLine() && socket.readLine() == kAcknowledgement) {
                qCInfo(lcApp) << "another instance is running; asked it to show its window";
                return true;
            }
            // Closed unanswered: a crowded server sheds its oldest connections.
        }
        // The holder may have taken the lock a moment ago and not listen yet.
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kRetryMilliseconds);
    }
}
