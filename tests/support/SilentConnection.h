#ifndef TAVRIN_TESTS_SILENTCONNECTION_H
#define TAVRIN_TESTS_SILENTCONNECTION_H

#include <QFile>
#include <QString>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

#endif
