#ifndef TAVRIN_TESTS_CORE_MEMORYSETTINGSSTORE_H
#define TAVRIN_TESTS_CORE_MEMORYSETTINGSSTORE_H

#include "settings/SettingsStore.h"

#include <map>
#include <string>
#include <utility>

// Settings held in memory, by (section, name). With failSaves set, every save
// is refused and leaves the values as they are, as a store that cannot write does.
class MemorySettingsStore : public SettingsStore
{
public:
    std::string read(const std::string &section, const std::string &name,
                     const std::string &defaultValue) const override
    {
        const auto it = values.find({section, name});
        return it == values.end() ? defaultValue : it->second;
    }
    bool save(const std::string &section, const std::string &name,
              const std::string &value) override
    {
        if (failSaves)
            return false;
        values[{section, name}] = value;
        ++saves;
        return true;
    }

    std::map<std::pair<std::string, std::string>, std::string> values;
    bool failSaves = false;
    int saves = 0; // successful ones
};

#endif
