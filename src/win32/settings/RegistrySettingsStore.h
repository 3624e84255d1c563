#ifndef TAVRIN_WIN32_SETTINGS_REGISTRYSETTINGSSTORE_H
#define TAVRIN_WIN32_SETTINGS_REGISTRYSETTINGSSTORE_H

#include "settings/SettingsStore.h"

#include <map>
#include <string>
#include <utility>

// Settings in the per-user registry, one REG_SZ value per setting under
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>,
// where earlier installations kept theirs. Text is UTF-16 in the registry and
// UTF-8 at the interface.
//
// read() gives the default for an absent value, silently, and for a value it
// cannot use, with one log line naming the value: a type other than REG_SZ or
// REG_EXPAND_SZ (whose text is taken as it is, never expanded: a URL's "%20"
// is no variable), more than MaxValueBytes, an odd byte count or a broken
// surrogate pair, and one that cannot be read. The text ends at the first
// NUL; a missing one is fine.
//
// Such a value is kept unless the user replaces it: a save of exactly the
// default read() gave for it leaves it as it is (start-up writes the interval
// it loaded straight back), a save of any other text replaces it.
//
// Meant for one thread.
class RegistrySettingsStore : public SettingsStore
{
public:
    static constexpr unsigned long MaxValueBytes = 1024 * 1024;

    explicit RegistrySettingsStore(const std::string &applicationName);

    // The key a section's values are under, below HKEY_CURRENT_USER.
    std::wstring keyPath(const std::string &section) const;

    std::string read(const std::string &section, const std::string &name,
                     const std::string &defaultValue) const override;
    bool save(const std::string &section, const std::string &name,
              const std::string &value) override;

private:
    enum class State
    {
        Absent,
        Text,
        Bad,
    };
    struct Found
    {
        State state = State::Absent;
        std::string text;    // State::Text, UTF-8
        std::string problem; // State::Bad: what is wrong, never the content
    };
    using Slot = std::pair<std::string, std::string>;

    Found lookUp(const std::wstring &key, const std::wstring &name) const;
    std::string where(const std::string &section, const std::string &name) const;

    std::wstring m_applicationKey;
    // Values read() found bad, with the default it gave and whether a save of
    // that default was reported as skipped.
    struct BadValue
    {
        std::string problem;
        std::string defaultValue;
        bool keepReported = false;
    };
    mutable std::map<Slot, BadValue> m_badValues;
};

#endif
