#include "qt/settings/SettingsFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string errorText(int error)
{
    return std::strerror(error);
}

static_assert(SettingsFile::MaxSize == 1024 * 1024, "the reason below names the limit");

std::string kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return "a symbolic link";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISDIR(mode))
        return "a directory";
    return "not a regular file";
}

bool isNoSpace(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

// mkdir -p for the directories above ours, with the usual mode.
void makeParents(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0777);
}

const char kTemporaryInfix[] = ".tmp-";

// Whether name is prefix and three numbers joined by '-', as replace() names its files.
bool isTemporaryName(std::string_view name, std::string_view prefix)
{
    if (name.substr(0, prefix.size()) != prefix)
        return false;
    name.remove_prefix(prefix.size());
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (name.empty() || name.front() != '-')
                return false;
            name.remove_prefix(1);
        }
        std::size_t digits = 0;
        while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9')
            ++digits;
        if (digits == 0)
            return false;
        name.remove_prefix(digits);
    }
    return name.empty();
}

} // namespace

SettingsFile::SettingsFile(std::string directory, std::string name)
    : m_directory(std::move(directory)), m_name(std::move(name))
{
}

SettingsFile::~SettingsFile()
{
    closeAll();
}

void SettingsFile::closeAll()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_directoryFd >= 0)
        ::close(m_directoryFd);
    m_fd = -1;
    m_directoryFd = -1;
}

bool SettingsFile::openDirectory(bool create)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    m_directoryFd = ::open(m_directory.c_str(), flags);
    if (m_directoryFd < 0 && errno == ENOENT && create) {
        makeParents(m_directory);
        // Private, so others cannot even see which files it holds.
        if (::mkdir(m_directory.c_str(), 0700) != 0 && errno != EEXIST) {
            m_state = State::Unreadable;
            m_reason =
                "the directory " + m_directory + " could not be created (" + errorText(errno) + ")";
            return false;
        }
        m_directoryFd = ::open(m_directory.c_str(), flags);
    }
    if (m_directoryFd >= 0)
        return true;
    const int error = errno;
    struct stat st;
    if (error == ENOENT) {
        m_state = State::Missing;
    } else if (::lstat(m_directory.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        m_state = State::NotOurs;
        m_reason = "its directory " + m_directory + " is " + kindOf(st.st_mode);
    } else {
        m_state = State::Unreadable;
        m_reason = "its directory " + m_directory + " cannot be opened (" + errorText(error) + ")";
    }
    return false;
}

SettingsFile::State SettingsFile::load(bool createDirectory)
{
    closeAll();
    m_data.clear();
    m_reason.clear();
    m_mode = 0;
    if (!openDirectory(createDirectory))
        return m_state;

    // Non-blocking, so a FIFO or a device opens at once (and is then refused);
    // no-follow, so a link is refused instead of read.
    m_fd = ::openat(m_directoryFd, m_name.c_str(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        struct stat st;
        if (error == ENOENT) {
            m_state = State::Missing;
        } else if (::fstatat(m_directoryFd, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                   !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            m_state = State::NotOurs;
            m_reason = "it is " + kindOf(st.st_mode);
        } else {
            m_state = State::Unreadable;
            m_reason = errorText(error);
        }
        return m_state;
    }

    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        m_state = State::Unreadable;
        m_reason = errorText(errno);
        return m_state;
    }
    m_mode = st.st_mode;
    if (S_ISDIR(st.st_mode)) {
        m_state = State::Unreadable;
        m_reason = "it is a directory";
        return m_state;
    }
    if (!S_ISREG(st.st_mode)) {
        m_state = State::NotOurs;
        m_reason = "it is " + kindOf(st.st_mode);
        return m_state;
    }
    const std::string tooLarge = "it is larger than 1 MiB";
    if (std::size_t(st.st_size) > MaxSize) {
        m_state = State::TooLarge;
        m_reason = tooLarge;
        return m_state;
    }

    // The size can change under us: read one byte past the limit at most.
    m_data.resize(MaxSize + 1);
    std::size_t filled = 0;
    while (filled < m_data.size()) {
        const ssize_t got = ::read(m_fd, m_data.data() + filled, m_data.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_data.clear();
            m_state = State::Unreadable;
            m_reason = errorText(errno);
            return m_state;
        }
        if (got == 0)
            break;
        filled += std::size_t(got);
    }
    if (filled > MaxSize) {
        m_data.clear();
        m_state = State::TooLarge;
        m_reason = tooLarge;
        return m_state;
    }
    m_data.resize(filled);
    m_state = State::Regular;
    return m_state;
}

bool SettingsFile::ownerMayWrite() const
{
    return (m_mode & S_IWUSR) != 0;
}

bool SettingsFile::restrictToOwner(std::string *reason)
{
    const mode_t current = m_mode & 0777;
    // Only takes permissions away: a file the user made read-only stays so.
    const mode_t wanted = current & 0600;
    if (current == wanted)
        return true;
    if (m_fd < 0 || ::fchmod(m_fd, wanted) != 0) {
        *reason = "its access cannot be restricted to the owner";
        return false;
    }
    m_mode = (m_mode & ~mode_t(0777)) | wanted;
    return true;
}

bool SettingsFile::setAside(std::string *target, std::string *reason)
{
    // It may hold the secret key: restrict it before it gets its new name.
    if (m_fd >= 0)
        ::fchmod(m_fd, m_mode & 0600);
    for (int n = 0; n < 100; ++n) {
        *target = m_name + ".corrupt" + (n == 0 ? std::string() : "." + std::to_string(n));
        int result = ::renameat2(m_directoryFd, m_name.c_str(), m_directoryFd, target->c_str(),
                                 RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without RENAME_NOREPLACE: look first, then rename.
            struct stat st;
            if (::fstatat(m_directoryFd, target->c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                errno = EEXIST;
            } else {
                result = ::renameat(m_directoryFd, m_name.c_str(), m_directoryFd, target->c_str());
            }
        }
        if (result == 0) {
            *target = m_directory + '/' + *target;
            m_state = State::Missing;
            m_data.clear();
            return true;
        }
        if (errno != EEXIST) {
            *reason = errorText(errno);
            return false;
        }
    }
    *reason = "too many earlier copies exist";
    return false;
}

bool SettingsFile::replace(const std::string &data, std::string *reason, bool *noSpace)
{
    *noSpace = false;
    if (m_directoryFd < 0) {
        *reason = "its directory is not open";
        return false;
    }
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        temporary = m_name + kTemporaryInfix + std::to_string(::getpid()) + '-' +
                    std::to_string((unsigned long long)(now) % 1000000007ULL) + '-' +
                    std::to_string(counter++);
        // Owner-only from the start: the key is never readable by others, not even briefly.
        fd = ::openat(m_directoryFd, temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *noSpace = isNoSpace(errno);
        *reason = "its directory is not writable (" + errorText(errno) + ")";
        return false;
    }

    int error = 0;
    if (::fchmod(fd, 0600) != 0)
        error = errno;
    for (std::size_t written = 0; error == 0 && written < data.size();) {
        const ssize_t put = ::write(fd, data.data() + written, data.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            error = errno;
        else
            written += std::size_t(put);
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 &&
        ::renameat(m_directoryFd, temporary.c_str(), m_directoryFd, m_name.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(m_directoryFd, temporary.c_str(), 0);
        *noSpace = isNoSpace(error);
        *reason = "the file could not be written (" + errorText(error) + ")";
        return false;
    }
    // The rename itself is only durable once the directory is synced.
    ::fsync(m_directoryFd);
    return true;
}

int SettingsFile::leftovers(bool remove)
{
    if (m_directoryFd < 0 && !openDirectory(false))
        return 0;
    const int fd = ::dup(m_directoryFd);
    if (fd < 0)
        return 0;
    DIR *directory = ::fdopendir(fd);
    if (!directory) {
        ::close(fd);
        return 0;
    }
    ::rewinddir(directory);
    const std::string prefix = m_name + kTemporaryInfix;
    int count = 0;
    while (const dirent *entry = ::readdir(directory)) {
        if (isTemporaryName(entry->d_name, prefix) &&
            (!remove || ::unlinkat(m_directoryFd, entry->d_name, 0) == 0))
            ++count;
    }
    ::closedir(directory);
    return count;
}
