#ifndef TAVRIN_SETTINGS_SETTINGSSTORE_H
#define TAVRIN_SETTINGS_SETTINGSSTORE_H

#include <QString>

// The per-user store of text values. One instance serves one application name;
// values are addressed by section and name and kept exactly as given.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored value, or defaultValue when it is absent or cannot be read.
    virtual QString read(const QString &section, const QString &name,
                         const QString &defaultValue) const = 0;

    // Creates or replaces the value. Returns false when it could not be written;
    // the reason is logged, never the value.
    virtual bool save(const QString &section, const QString &name, const QString &value) = 0;
};

#endif
