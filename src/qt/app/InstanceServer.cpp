#include "qt/app/InstanceServer.h"

#include "qt/app/AppLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A request is one short line; a client that sends more is not one of ours.
constexpr qint64 kMaxRequestLength = 64;
// After accept() failed for want of descriptors or memory, the next try.
constexpr int kAcceptRetryMs = 1000;
constexpr int kBacklog = 64;

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kAcknowledgement = QByteArrayLiteral("ok\n");

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool fillAddress(const QByteArray &path, sockaddr_un &address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

bool isFile(const struct stat &status, const InstanceServer::FileId &file)
{
    return status.st_dev == file.device && status.st_ino == file.inode;
}

} // namespace

InstanceServer::InstanceServer(const QString &path, int listenFd, FileId file, const Limits &limits,
                               std::function<bool()> stillPrimary)
    : m_path(path), m_fd(listenFd), m_file(file), m_limits(limits),
      m_stillPrimary(std::move(stillPrimary)), m_checkTimer(new QTimer(this)),
      m_acceptRetry(new QTimer(this))
{
    // The check is rare: the program is meant to sleep while it waits.
    m_checkTimer->setTimerType(Qt::VeryCoarseTimer);
    m_checkTimer->setInterval(m_limits.checkMs);
    connect(m_checkTimer, &QTimer::timeout, this, &InstanceServer::check);
    m_acceptRetry->setSingleShot(true);
    m_acceptRetry->setInterval(kAcceptRetryMs);
    // Watched from here on, before the server's thread starts: what happens to
    // the files meanwhile waits in the queue.
    if (m_limits.watchDirectory)
        watchDirectory();
    connect(m_acceptRetry, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
        acceptAll();
    });
}

InstanceServer::~InstanceServer()
{
    for (QLocalSocket *client : m_clients) {
        client->disconnect(this);
        client->abort();
    }
    delete m_notifier;
    delete m_directoryNotifier;
    if (m_inotifyFd >= 0)
        ::close(m_inotifyFd);
    if (m_fd >= 0) {
        // Only our own socket file: another start may have replaced it.
        struct stat status;
        const QByteArray path = QFile::encodeName(m_path);
        if (::lstat(path.constData(), &status) == 0 && isFile(status, m_file))
            ::unlink(path.constData());
        ::close(m_fd);
    }
}

int InstanceServer::bindSocket(const QString &path, FileId *file, QString *error)
{
    const QByteArray finalPath = QFile::encodeName(path);
    const QByteArray temporary =
        finalPath + ".new" + QByteArray::number(QCoreApplication::applicationPid());
    sockaddr_un address;
    if (!fillAddress(temporary, address)) {
        *error = QStringLiteral("the path is too long for a local socket");
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = systemError(errno);
        return -1;
    }
    ::unlink(temporary.constData()); // left by a run with our process id that died here
    bool made = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    // Only this user may ask, even where the directory is open to others.
    made = made && ::chmod(temporary.constData(), S_IRUSR | S_IWUSR) == 0;
    made = made && ::listen(fd, kBacklog) == 0;
    // A socket's fstat() describes the socket, not its file: take the file's
    // before it goes into place (a rename keeps it).
    struct stat status;
    made = made && ::lstat(temporary.constData(), &status) == 0;
    made = made && ::rename(temporary.constData(), finalPath.constData()) == 0;
    if (!made) {
        *error = systemError(errno);
        ::unlink(temporary.constData());
        ::close(fd);
        return -1;
    }
    file->device = status.st_dev;
    file->inode = status.st_ino;
    return fd;
}

void InstanceServer::start()
{
    watch(m_fd);
    if (m_inotifyFd < 0) {
        m_checkTimer->start();
        return;
    }
    m_directoryNotifier = new QSocketNotifier(m_inotifyFd, QSocketNotifier::Read, this);
    connect(m_directoryNotifier, &QSocketNotifier::activated, this,
            &InstanceServer::directoryChanged);
}

bool InstanceServer::watchDirectory()
{
    m_inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotifyFd < 0) {
        qCInfo(lcApp) << "cannot watch the instance socket's directory:" << systemError(errno)
                      << "; checking it every" << m_limits.checkMs / 1000 << "s";
        return false;
    }
    const QByteArray directory = QFile::encodeName(m_path.left(m_path.lastIndexOf(u'/') + 1));
    const uint32_t events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                            IN_DELETE_SELF | IN_MOVE_SELF;
    if (directory.isEmpty() ||
        ::inotify_add_watch(m_inotifyFd, directory.constData(), events) < 0) {
        qCInfo(lcApp) << "cannot watch the instance socket's directory:" << systemError(errno)
                      << "; checking it every" << m_limits.checkMs / 1000 << "s";
        ::close(m_inotifyFd);
        m_inotifyFd = -1;
        return false;
    }
    return true;
}

void InstanceServer::directoryChanged()
{
    // Our files are the socket and those named after it (lock, claim); other
    // programs' files in a shared runtime directory are no reason to wake.
    // "app.socket" and "app.lock" share the name "app".
    QString name = m_path.mid(m_path.lastIndexOf(u'/') + 1);
    name.truncate(name.lastIndexOf(u'.') > 0 ? name.lastIndexOf(u'.') : name.size());
    const QByteArray ours = QFile::encodeName(name);
    bool concernsUs = false;
    bool watchLost = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(m_inotifyFd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW))
                watchLost = watchLost || !(event->mask & IN_Q_OVERFLOW);
            if (event->len == 0 || std::strncmp(event->name, ours.constData(), ours.size()) == 0)
                concernsUs = true;
            at += qsizetype(sizeof(inotify_event)) + event->len;
        }
    }
    if (watchLost && !m_checkTimer->isActive()) {
        qCWarning(lcApp) << "the instance socket's directory went away; checking it every"
                         << m_limits.checkMs / 1000 << "s";
        m_directoryNotifier->setEnabled(false);
        m_checkTimer->start();
    }
    if (concernsUs)
        check();
}

void InstanceServer::watch(int listenFd)
{
    delete m_notifier;
    m_notifier = new QSocketNotifier(listenFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InstanceServer::acceptAll);
}

void InstanceServer::acceptAll()
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            // Out of descriptors or memory: the waiting connections stay queued
            // until some close. Closing the server here would lose it for good.
            if (!m_reportedAcceptError) {
                qCWarning(lcApp) << "cannot accept a later start's connection:"
                                 << systemError(errno) << "; trying again shortly";
                m_reportedAcceptError = true;
            }
            m_notifier->setEnabled(false);
            m_acceptRetry->start();
            return;
        }
        m_reportedAcceptError = false;
        if (int(m_clients.size()) >= m_limits.maxConnections) {
            // The oldest has had the longest to speak; a new one may be a real start.
            if (!m_reportedCrowd) {
                qCWarning(lcApp) << "more than" << m_limits.maxConnections
                                 << "connections to the instance socket at once;"
                                    " closing the oldest";
                m_reportedCrowd = true;
            }
            drop(m_clients.front());
        }
        auto *client = new QLocalSocket(this);
        if (!client->setSocketDescriptor(fd)) {
            ::close(fd);
            delete client;
            continue;
        }
        m_clients.push_back(client);
        serve(client);
    }
}

void InstanceServer::serve(QLocalSocket *client)
{
    connect(client, &QLocalSocket::disconnected, this, [this, client] { drop(client); });
    // A start asks at once; a connection that lingers is closed.
    QTimer::singleShot(m_limits.idleMs, client, [this, client] { drop(client); });
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
        while (client->canReadLine()) {
            const QByteArray request = client->readLine(kMaxRequestLength + 1);
            if (request != kShowRequest) {
                qCWarning(lcApp) << "dropping a client with an unknown request";
                drop(client);
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
            drop(client);
        }
    });
}

void InstanceServer::drop(QLocalSocket *client)
{
    const auto found = std::find(m_clients.begin(), m_clients.end(), client);
    if (found == m_clients.end())
        return;
    m_clients.erase(found);
    if (m_clients.empty())
        m_reportedCrowd = false;
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}

void InstanceServer::check()
{
    if (m_stillPrimary && !m_stillPrimary()) {
        if (!m_reportedNotPrimary) {
            qCWarning(lcApp) << "another instance has taken over the lock; leaving its socket"
                             << m_path << "alone";
            m_reportedNotPrimary = true;
        }
        return;
    }
    m_reportedNotPrimary = false;
    struct stat status;
    const QByteArray path = QFile::encodeName(m_path);
    const bool present = ::lstat(path.constData(), &status) == 0;
    if (present && isFile(status, m_file))
        return;
    qCWarning(lcApp).nospace() << "the instance socket " << m_path
                               << (present ? " was replaced" : " was removed")
                               << "; making it again";
    QString error;
    const int fd = bindSocket(m_path, &m_file, &error);
    if (fd < 0) {
        qCWarning(lcApp) << "cannot make the instance socket again:" << error;
        return;
    }
    ::close(m_fd);
    m_fd = fd;
    watch(m_fd);
    m_acceptRetry->stop();
}
