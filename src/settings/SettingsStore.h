#ifndef TAVRIN_SETTINGS_SETTINGSSTORE_H
#define TAVRIN_SETTINGS_SETTINGSSTORE_H

#include <string>

// The per-user store of text values, in UTF-8. One instance serves one
// application name; values are addressed by section and name and kept exactly
// as given.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored value, or defaultValue when it is absent or cannot be read.
    virtual std::string read(const std::string &section, const std::string &name,
                             const std::string &defaultValue) const = 0;

    // Creates or replaces the value. Returns false when it could not be written;
    // the reason is logged, never the value.
    virtual bool save(const std::string &section, const std::string &name,
                      const std::string &value) = 0;
};

#endif
