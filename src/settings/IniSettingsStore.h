#ifndef TAVRIN_SETTINGS_INISETTINGSSTORE_H
#define TAVRIN_SETTINGS_INISETTINGSSTORE_H

#include "settings/SettingsStore.h"

#include <QString>

// Settings kept in an INI file, <config dir>/<application>/<application>.ini,
// where <config dir> is $XDG_CONFIG_HOME or ~/.config.
//
// The file holds the user's secret key, so it is created owner-only (0600, in
// a 0700 directory when we create that) and kept so after every save. A file
// that cannot be read or is not a settings file yields the defaults and one
// warning; save() then decides what to do with it (see save()).
class IniSettingsStore : public SettingsStore
{
public:
    explicit IniSettingsStore(const QString &application);

    // The program's file name as started, without directory and without a
    // trailing ".exe"; "tavrin-connector" when that leaves nothing.
    static QString applicationName(const QString &programPath);

    QString filePath() const;

    QString read(const QString &section, const QString &name,
                 const QString &defaultValue) const override;
    bool save(const QString &section, const QString &name, const QString &value) override;

private:
    void removeAbandonedLock() const;
    enum class FileState
    {
        Missing,
        Healthy,
        Unreadable,
        Corrupt
    };
    struct Inspection
    {
        FileState state;
        QString reason;
    };

    Inspection inspect() const;
    void warnOnce(const Inspection &inspection) const;
    bool setCorruptFileAside(const QString &reason);
    bool prepareDirectory(QString *reason) const;
    bool prepareExistingFile(QString *reason) const;
    bool restrictToOwner(QString *reason) const;
    // Whether the file already holds value as text under key.
    bool holds(const QString &key, const QString &value) const;

    QString m_filePath;
    // The problem last reported by read(), so a bad file is reported once, not
    // on every value read from it.
    mutable QString m_reportedProblem;
};

#endif
