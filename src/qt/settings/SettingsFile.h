#ifndef TAVRIN_QT_SETTINGS_SETTINGSFILE_H
#define TAVRIN_QT_SETTINGS_SETTINGSFILE_H

#include <cstddef>
#include <string>
#include <sys/types.h>

// The settings file in its directory, reached only as the program's own
// regular file: neither the file nor the directory's last component is
// followed through a symbolic link, a FIFO, device or socket in its place is
// never read or written, opening never blocks, and no more than MaxSize bytes
// are ever read. Everything works on the descriptors opened once (no check
// first and open after), and the file is only ever replaced whole: written
// owner-only next to it, synced, renamed over it.
class SettingsFile
{
public:
    static constexpr std::size_t MaxSize = 1024 * 1024;

    enum class State
    {
        Missing,    // neither the file (nor, maybe, its directory) exists
        Regular,    // read into data()
        TooLarge,   // a regular file larger than MaxSize; data() is empty
        NotOurs,    // a symbolic link, FIFO, device or socket, or a link as the directory
        Unreadable, // no permission, a directory in its place, a read error
    };

    SettingsFile(std::string directory, std::string name);
    ~SettingsFile();
    SettingsFile(const SettingsFile &) = delete;
    SettingsFile &operator=(const SettingsFile &) = delete;

    // Opens the directory (creating it, 0700, and its parents when asked and
    // missing) and the file, and reads the file.
    State load(bool createDirectory);

    State state() const { return m_state; }
    const std::string &data() const { return m_data; }
    // Why the state is not Regular or Missing; never holds the file's content.
    const std::string &reason() const { return m_reason; }
    // After load() found a file: whether its owner may write it.
    bool ownerMayWrite() const;

    // Takes group and other permissions off the loaded file (never adds any).
    bool restrictToOwner(std::string *reason);
    // Renames the loaded file to "<name>.corrupt" (or ".corrupt.1", ...), owner-only first.
    bool setAside(std::string *target, std::string *reason);
    // Replaces the file with data; the directory must have been loaded.
    // *noSpace tells whether it failed because the disk is full.
    bool replace(const std::string &data, std::string *reason, bool *noSpace);
    // The temporary files of saves a kill cut short (named as replace() names
    // them, "<name>.tmp-<pid>-<n>-<n>", nothing else): counts them, or removes
    // them when remove is set, which is only safe while holding the settings
    // lock, when no writer can be busy with one. Opens the directory if load()
    // has not.
    int leftovers(bool remove);

private:
    void closeAll();
    bool openDirectory(bool create);

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
