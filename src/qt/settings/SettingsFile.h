#ifndef TAVRIN_QT_SETTINGS_SETTINGSFILE_H
#define TAVRIN_QT_SETTINGS_SETTINGSFILE_H

#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <utility>

// The settings file, reached only as the program's own regular file: neither it
// nor its directory is followed through a symbolic link, a FIFO, device or
// socket in its place is never read or written, opening never blocks, and at
// most MaxSize bytes are read. All works on descriptors opened once (no check
// first and open after); the file is only replaced whole: written owner-only
// next to it, synced, renamed over it.
class SettingsFile
{
public:
    static constexpr std::size_t MaxSize = 1024 * 1024;

    enum class State
    {
        Missing,    // neither the file (nor, maybe, its directory) exists
        Regular,    // settings text, read into data()
        NotText,    // a regular file that is not settings text (SettingsText::problem)
        TooLarge,   // a regular file larger than MaxSize
        NotOurs,    // a symbolic link, FIFO, device or socket, or a link as the directory
        Unreadable, // no permission, a directory in its place, a read error
    };

    SettingsFile(std::string directory, std::string name)
        : m_directory(std::move(directory)), m_name(std::move(name))
    {
    }
    ~SettingsFile() { closeAll(); }
    SettingsFile(const SettingsFile &) = delete;
    SettingsFile &operator=(const SettingsFile &) = delete;

    // Opens the directory (creating it, 0700, and its parents when asked) and
    // the file, and reads the file.
    State load(bool createDirectory);

    State state() const { return m_state; }
    // The text when Regular, else empty.
    const std::string &data() const { return m_data; }
    // Why the state is neither Regular nor Missing; never holds the file's content.
    const std::string &reason() const { return m_reason; }
    // After load() found a file: whether its owner may write it.
    bool ownerMayWrite() const { return (m_mode & S_IWUSR) != 0; }

    // Takes group and other permissions off the loaded file (never adds any).
    bool restrictToOwner(std::string *reason);
    // Renames the loaded file to "<name>.corrupt" (or ".corrupt.1", ...), owner-only first.
    bool setAside(std::string *target, std::string *reason);
    // Replaces the file with data; load() must have opened the directory.
    bool replace(const std::string &data, std::string *reason);
    // Counts the temporary files of saves a kill cut short ("<name>.tmp-<pid>-<n>-<n>",
    // as replace() names them), or removes them: only under the settings lock.
    int leftovers(bool remove);

private:
    State set(State state, std::string reason = {});
    bool openDirectory(bool create);
    void closeAll();

    std::string m_directory;
    std::string m_name;
    int m_directoryFd = -1;
    int m_fd = -1;
    mode_t m_mode = 0;
    State m_state = State::Missing;
    std::string m_data;
    std::string m_reason;
};

#endif
