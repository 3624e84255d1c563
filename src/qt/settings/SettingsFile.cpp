#include "qt/settings/SettingsFile.h"

#include "settings/SettingsText.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string withError(const std::string &text, int error)
{
    return text + " (" + std::strerror(error) + ")";
}

std::string kindOf(mode_t mode)
{
    return S_ISLNK(mode)                    ? "a symbolic link"
           : S_ISFIFO(mode)                 ? "a FIFO"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
           : S_ISSOCK(mode)                 ? "a socket"
           : S_ISDIR(mode)                  ? "a directory"
                                            : "not a regular file";
}

const char kTemporaryInfix[] = ".tmp-";

// Whether name is prefix and three numbers joined by '-', as replace() names its files.
bool isTemporaryName(std::string_view name, std::string_view prefix)
{
    if (name.substr(0, prefix.size()) != prefix)
        return false;
    int separators = 0;
    bool digits = false;
    for (const char c : name.substr(prefix.size())) {
        if (c == '-' && digits)
            ++separators;
        else if (c < '0' || c > '9')
            return false;
        digits = c != '-';
    }
    return digits && separators == 2;
}

} // namespace

void SettingsFile::closeAll()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_directoryFd >= 0)
        ::close(m_directoryFd);
    m_fd = -1;
    m_directoryFd = -1;
}

SettingsFile::State SettingsFile::set(State state, std::string reason)
{
    m_state = state;
    m_reason = std::move(reason);
    if (state != State::Regular)
        m_data.clear();
    return state;
}

bool SettingsFile::openDirectory(bool create)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    m_directoryFd = ::open(m_directory.c_str(), flags);
    if (m_directoryFd < 0 && errno == ENOENT && create) {
        // The parents as mkdir -p makes them; our own private, so others
        // cannot even see which files it holds.
        for (std::size_t slash = m_directory.find('/', 1); slash != std::string::npos;
             slash = m_directory.find('/', slash + 1))
            ::mkdir(m_directory.substr(0, slash).c_str(), 0777);
        if (::mkdir(m_directory.c_str(), 0700) != 0 && errno != EEXIST) {
            set(State::Unreadable,
                withError("the directory " + m_directory + " could not be created", errno));
            return false;
        }
        m_directoryFd = ::open(m_directory.c_str(), flags);
    }
    if (m_directoryFd >= 0)
        return true;
    const int error = errno;
    struct stat st;
    if (error == ENOENT)
        set(State::Missing);
    else if (::lstat(m_directory.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        set(State::NotOurs, "its directory " + m_directory + " is " + kindOf(st.st_mode));
    else
        set(State::Unreadable,
            withError("its directory " + m_directory + " cannot be opened", error));
    return false;
}

SettingsFile::State SettingsFile::load(bool createDirectory)
{
    closeAll();
    if (!openDirectory(createDirectory))
        return m_state;

    // Non-blocking, so a FIFO or a device opens at once (and is then refused);
    // no-follow, so a link is refused instead of read.
    m_fd = ::openat(m_directoryFd, m_name.c_str(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (m_fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return set(State::Missing);
        if (::fstatat(m_directoryFd, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
            return set(State::Unreadable, withError("it cannot be read", error));
    } else if (::fstat(m_fd, &st) != 0) {
        return set(State::Unreadable, withError("it cannot be read", errno));
    }
    m_mode = st.st_mode;
    if (!S_ISREG(st.st_mode)) {
        return set(S_ISDIR(st.st_mode) ? State::Unreadable : State::NotOurs,
                   "it is " + kindOf(st.st_mode));
    }
    const std::string tooLarge = "it is larger than 1 MiB";
    if (std::size_t(st.st_size) > MaxSize)
        return set(State::TooLarge, tooLarge);

    // The size can change under us: read one byte past the limit at most.
    m_data.resize(MaxSize + 1);
    std::size_t filled = 0;
    while (filled < m_data.size()) {
        const ssize_t got = ::read(m_fd, &m_data[filled], m_data.size() - filled);
        if (got == 0)
            break;
        if (got > 0)
            filled += std::size_t(got);
        else if (errno != EINTR)
            return set(State::Unreadable, withError("it cannot be read", errno));
    }
    m_data.resize(filled);
    if (filled > MaxSize)
        return set(State::TooLarge, tooLarge);
    if (std::string problem = SettingsText::problem(m_data); !problem.empty())
        return set(State::NotText, std::move(problem));
    return set(State::Regular);
}

bool SettingsFile::restrictToOwner(std::string *reason)
{
    // Only takes permissions away: a file the user made read-only stays so.
    const mode_t wanted = m_mode & 0600;
    if ((m_mode & 0777) == wanted)
        return true;
    if (m_fd < 0 || ::fchmod(m_fd, wanted) != 0) {
        *reason = "its access cannot be restricted to the owner";
        return false;
    }
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
            if (::fstatat(m_directoryFd, target->c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                errno = EEXIST;
            else
                result = ::renameat(m_directoryFd, m_name.c_str(), m_directoryFd, target->c_str());
        }
        if (result == 0) {
            *target = m_directory + '/' + *target;
            set(State::Missing);
            return true;
        }
        if (errno != EEXIST) {
            *reason = std::strerror(errno);
            return false;
        }
    }
    *reason = "too many earlier copies exist";
    return false;
}

bool SettingsFile::replace(const std::string &data, std::string *reason)
{
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = m_name + kTemporaryInfix + std::to_string(::getpid()) + '-' +
                    std::to_string(attempt) + '-' + std::to_string(counter++);
        // Owner-only from the start: the key is never readable by others, not even briefly.
        fd = ::openat(m_directoryFd, temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *reason = withError("its directory is not writable", errno);
        return false;
    }

    // Exactly 0600 whatever the umask, so the owner can write it again.
    int error = ::fchmod(fd, 0600) != 0 ? errno : 0;
    for (std::size_t written = 0; error == 0 && written < data.size();) {
        const ssize_t put = ::write(fd, data.data() + written, data.size() - written);
        if (put >= 0)
            written += std::size_t(put);
        else if (errno != EINTR)
            error = errno;
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
        *reason = withError("the file could not be written", error);
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
    // A descriptor of its own, so each listing starts at the first entry.
    const int fd = ::openat(m_directoryFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *directory = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!directory) {
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
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
