#ifndef TAVRIN_SUPPORT_FULLDISK_H
#define TAVRIN_SUPPORT_FULLDISK_H

#include <QString>

#include <functional>

// A directory where no file can grow.
//
// Preferably a 64 kB tmpfs mounted on it and filled to the last block (this
// needs the right to mount). Where mounting is refused, the reason is kept and
// a file size limit of zero (RLIMIT_FSIZE, with SIGXFSZ ignored) stands in:
// it makes every write to a regular file fail the way a full disk does, for
// this process inside a NoRoomScope and for a child through childSetup().
class FullDisk
{
public:
    explicit FullDisk(const QString &directory);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    // Why no tmpfs could be used; empty when one is mounted.
    QString mountRefusal() const { return m_mountRefusal; }

    // Takes up every free block (tmpfs only). Returns false if that failed.
    bool fill();
    // Frees the room fill() took.
    void makeRoom();
    QString fillerName() const;

    // For a child process: the file size limit when there is no tmpfs, else nothing.
    std::function<void()> childSetup() const;

    // The file size limit for this process while it lives, when there is no tmpfs.
    class NoRoomScope
    {
    public:
        explicit NoRoomScope(const FullDisk &disk);
        ~NoRoomScope();

    private:
        bool m_limited = false;
        unsigned long long m_savedCurrent = 0;
        unsigned long long m_savedMaximum = 0;
        void (*m_savedHandler)(int) = nullptr;
    };

private:
    QString m_directory;
    bool m_mounted = false;
    QString m_mountRefusal;
};

#endif
