#ifndef TAVRIN_QT_SETTINGS_INISETTINGSSTORE_H
#define TAVRIN_QT_SETTINGS_INISETTINGSSTORE_H

#include "settings/SettingsStore.h"

#include <QString>

#include <map>
#include <memory>
#include <string>
#include <utility>

class QLockFile;
class QTimer;
class SettingsFile;

// Settings kept in an INI file, <config dir>/<application>/<application>.ini,
// where <config dir> is $XDG_CONFIG_HOME or ~/.config: the file's bytes are
// read and edited by SettingsText (a section is its group) and reach it
// through SettingsFile, with no text conversion on the way.
//
// The file holds the user's secret key, so it is created owner-only (0600, in
// a 0700 directory when we create that) and kept so after every save. Only the
// program's own regular file is used: a symbolic link, FIFO, device or socket
// in its place (or a link as its directory) yields the defaults, one warning,
// and saves that leave it exactly as it is. A file that cannot be read or is
// not text yields the defaults and one warning too; save() then decides what
// to do with it (see save()). Lines the format does not understand are no
// such reason: they are ignored and kept.
//
// Writers take "<file>.lock" (QLockFile, as the earlier QSettings-based
// versions did) but wait for it only briefly: a save that finds it held by
// another process keeps its values, which read() already returns, and tries
// again on the next save and every few seconds (while an event loop runs),
// and once more when the store is destroyed. Reading never takes the lock.
// Opening the store removes the temporary files of saves a kill cut short,
// once it has the lock.
class IniSettingsStore : public SettingsStore
{
public:
    explicit IniSettingsStore(const QString &application);
    ~IniSettingsStore() override;

    // The program's file name as started, without directory and without a
    // trailing ".exe"; "tavrin-connector" when that leaves nothing.
    static QString applicationName(const QString &programPath);

    QString filePath() const;

    std::string read(const std::string &section, const std::string &name,
                     const std::string &defaultValue) const override;
    bool save(const std::string &section, const std::string &name,
              const std::string &value) override;

    // How long a save waits at most for a lock another process holds (an
    // empty lock left by a killed writer is waited out until it counts as
    // abandoned, 250 ms), and how long it then waits before it tries again.
    static constexpr int LockWaitMs = 200;
    static constexpr int RetryMs = 3000;

private:
    enum class Outcome
    {
        Saved,
        Deferred, // the lock is held elsewhere; the values stay pending
        Failed
    };
    enum class LockResult
    {
        Locked,
        Held,
        Failed
    };

    SettingsFile settingsFile() const;
    Outcome writePending(int lockWaitMs);
    Outcome fail(const QString &message);
    LockResult acquire(QLockFile &lock, int waitMs, QString *reason) const;
    // How long the lock file has been there empty, or -1 if it is not an empty file.
    qint64 emptyLockAgeMs() const;
    bool removeAbandonedLock() const;
    void removeLeftovers() const;
    bool setCorruptFileAside(SettingsFile &file, const QString &reason);
    void scheduleRetry();
    void warnOnce(const QString &problem, const QString &reason) const;
    bool diskIsFull() const;

    QString m_filePath;
    QString m_directory;
    QString m_fileName;
    // Values saved but not yet written, by section and name.
    std::map<std::pair<std::string, std::string>, std::string> m_pending;
    bool m_waitingForLock = false;
    bool m_closing = false;
    std::unique_ptr<QTimer> m_retryTimer;
    // The problem last reported by read(), so a bad file is reported once, not
    // on every value read from it.
    mutable QString m_reportedProblem;
};

#endif
