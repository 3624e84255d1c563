#include "FullDisk.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void limitFileSizeToZero()
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
}

} // namespace

FullDisk::FullDisk(const QString &directory) : m_directory(directory)
{
    if (!QDir().mkpath(directory)) {
        m_mountRefusal = QStringLiteral("cannot create ") + directory;
        return;
    }
    if (qEnvironmentVariableIsSet("TAVRIN_FAULT_NO_MOUNT")) {
        m_mountRefusal = QStringLiteral("TAVRIN_FAULT_NO_MOUNT is set");
        return;
    }
    const QByteArray target = QFile::encodeName(directory);
    if (::mount("tavrin-full", target.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                "size=64k,mode=0700") != 0) {
        m_mountRefusal =
            QStringLiteral("mount -t tmpfs: ") + QString::fromLocal8Bit(strerror(errno));
        return;
    }
    m_mounted = true;
}

FullDisk::~FullDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_directory).constData(), MNT_DETACH);
}

QString FullDisk::fillerName() const
{
    return QStringLiteral("filler");
}

bool FullDisk::fill()
{
    if (!m_mounted)
        return true;
    const QByteArray path = QFile::encodeName(m_directory + QLatin1Char('/') + fillerName());
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    // Block by block, then byte by byte, until the file system says no more.
    const QByteArray block(4096, 'f');
    bool full = false;
    for (qsizetype size : {block.size(), qsizetype(1)}) {
        for (int i = 0; i < 1024 * 1024; ++i) {
            if (::write(fd, block.constData(), size_t(size)) < 0) {
                full = errno == ENOSPC;
                break;
            }
        }
    }
    ::close(fd);
    return full;
}

void FullDisk::makeRoom()
{
    if (m_mounted)
        QFile::remove(m_directory + QLatin1Char('/') + fillerName());
}

std::function<void()> FullDisk::childSetup() const
{
    if (m_mounted)
        return {};
    return limitFileSizeToZero;
}

FullDisk::NoRoomScope::NoRoomScope(const FullDisk &disk)
{
    if (disk.isMounted())
        return;
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_savedCurrent = limit.rlim_cur;
    m_savedMaximum = limit.rlim_max;
    m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    limitFileSizeToZero();
    m_limited = true;
}

FullDisk::NoRoomScope::~NoRoomScope()
{
    if (!m_limited)
        return;
    rlimit limit;
    limit.rlim_cur = m_savedCurrent;
    limit.rlim_max = m_savedMaximum;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_savedHandler);
}
