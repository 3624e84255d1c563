#include "settings/UpdateSettings.h"

UpdateSettings::UpdateSettings(SettingsStore &store) : m_store(store) {}

std::string UpdateSettings::updateUrl() const
{
    return m_store.read(Section, KeyValueName, std::string());
}

std::string UpdateSettings::interval() const
{
    return m_store.read(Section, IntervalValueName, DefaultInterval);
}

bool UpdateSettings::saveUpdateUrl(const std::string &url)
{
    return m_store.save(Section, KeyValueName, url);
}

bool UpdateSettings::saveInterval(const std::string &text)
{
    return m_store.save(Section, IntervalValueName, text);
}
