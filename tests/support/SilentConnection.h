#ifndef TAVRIN_TESTS_SILENTCONNECTION_H
#define TAVRIN_TESTS_SILENTCONNECTION_H

#include <QFile>
#include <QString>

#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <vector>

// A blocking connection to the local socket at path that then says nothing,
// as a stuck or hostile client would hold one; -1 when it cannot connect.
inline int connectSilently(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || size_t(name.size()) >= sizeof address.sun_path) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// count silent connections at once, the test's own descriptor limit raised
// for them; empty when the limit or a connection cannot be had. The caller
// closes them.
inline std::vector<int> connectManySilently(const QString &path, int count)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return {};
    const rlim_t wanted = rlim_t(count) + 256;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max < wanted ? limit.rlim_max : wanted;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur < rlim_t(count) + 64)
            return {};
    }
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = connectSilently(path);
        if (fd < 0) {
            for (const int open : fds)
                ::close(open);
            return {};
        }
        fds.push_back(fd);
    }
    return fds;
}

#endif
