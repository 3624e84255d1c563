#ifndef TAVRIN_SETTINGS_UPDATESETTINGS_H
#define TAVRIN_SETTINGS_UPDATESETTINGS_H

#include "settings/SettingsStore.h"

#include <string>

// The update URL and the interval text as the program stores them. The section
// and value names are those of every earlier version, so their settings keep
// working.
class UpdateSettings
{
public:
    static constexpr const char *Section = "settings";
    static constexpr const char *KeyValueName = "TavrinKey";       // the update URL
    static constexpr const char *IntervalValueName = "TavrinTime"; // the interval text
    static constexpr const char *DefaultInterval = "5";

    explicit UpdateSettings(SettingsStore &store);

    // "" when absent.
    std::string updateUrl() const;
    // DefaultInterval when absent.
    std::string interval() const;
    // False when the store could not write the value.
    bool saveUpdateUrl(const std::string &url);
    bool saveInterval(const std::string &text);

private:
    SettingsStore &m_store;
};

#endif
