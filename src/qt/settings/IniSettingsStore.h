#ifndef TAVRIN_QT_SETTINGS_INISETTINGSSTORE_H
#define TAVRIN_QT_SETTINGS_INISETTINGSSTORE_H

#include "settings/SettingsStore.h"

#include <QString>
#include <QTimer>

#include <map>
#include <string>
#include <utility>

class QLockFile;

// Settings in <$XDG_CONFIG_HOME or ~/.config>/<application>/<application>.ini,
// read and edited by SettingsText (a section is its group) through SettingsFile.
// A file that cannot be read or is not the program's own gives the defaults and
// is left alone, as its content may be fine once the user repairs it; one that
// is not text or too large is set aside as "<file>.corrupt" by the next save.
//
// Writers take "<file>.lock" (QLockFile, as earlier versions did) but wait for
// it only briefly: a save that finds it held keeps its values, which read()
// returns, and tries again on the next save, every few seconds while an event
// loop runs, and when the store is destroyed. Reading never takes the lock.
class IniSettingsStore : public SettingsStore
{
public:
    // application: the program's name (CommandLine::programName).
    explicit IniSettingsStore(const QString &application);
    ~IniSettingsStore() override;

    QString filePath() const { return m_filePath; }

    std::string read(const std::string &section, const std::string &name,
                     const std::string &defaultValue) const override;
    bool save(const std::string &section, const std::string &name,
              const std::string &value) override;

    // A save's wait for a lock a live process holds, and the wait before a retry.
    static constexpr int LockWaitMs = 200;
    static constexpr int RetryMs = 3000;

private:
    bool writePending(int lockWaitMs);
    bool finish(bool saved, const QString &failure = {});
    // Whether the lock was taken; when not, *failure says why unless it is held.
    bool acquire(QLockFile &lock, int waitMs, QString *failure) const;

    QString m_filePath;
    std::string m_directory;
    std::string m_fileName;
    // Values saved but not yet written, by section and name.
    std::map<std::pair<std::string, std::string>, std::string> m_pending;
    bool m_waitingForLock = false;
    QTimer m_retryTimer;
    // What read() last reported, so a bad file is reported once.
    mutable std::string m_reportedProblem;
};

#endif
