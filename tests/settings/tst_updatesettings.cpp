#include "settings/UpdateSettings.h"

#include "MemorySettingsStore.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

namespace {

using Values = std::map<std::pair<std::string, std::string>, std::string>;

// Where earlier versions kept the two values; stored settings must keep working.
const std::pair<std::string, std::string> UrlSlot{"settings", "TavrinKey"};
const std::pair<std::string, std::string> IntervalSlot{"settings", "TavrinTime"};

} // namespace

TEST(UpdateSettings, EmptyStoreGivesNoUrlAndTheDefaultInterval)
{
    MemorySettingsStore store;
    const UpdateSettings settings(store);
    EXPECT_EQ(settings.updateUrl(), "");
    EXPECT_EQ(settings.interval(), "5");
    EXPECT_TRUE(store.values.empty());
}

TEST(UpdateSettings, ValuesUnderOtherSectionsOrNamesAreNotOurs)
{
    MemorySettingsStore store;
    store.values = {{{"Settings", "TavrinKey"}, "http://h/a"},
                    {{"", "TavrinKey"}, "http://h/b"},
                    {{"settings", "tavrintime"}, "9"},
                    {{"other", "TavrinTime"}, "8"}};
    const UpdateSettings settings(store);
    EXPECT_EQ(settings.updateUrl(), "");
    EXPECT_EQ(settings.interval(), UpdateSettings::DefaultInterval);
}

TEST(UpdateSettings, ReadsWhatEarlierVersionsStored)
{
    MemorySettingsStore store;
    store.values = {{UrlSlot, "http://127.0.0.1/old-key"}, {IntervalSlot, "12"}};
    const UpdateSettings settings(store);
    EXPECT_EQ(settings.updateUrl(), "http://127.0.0.1/old-key");
    EXPECT_EQ(settings.interval(), "12");
}

// A stored empty value is present: it is not replaced by the default.
TEST(UpdateSettings, StoredEmptyValuesAreKept)
{
    MemorySettingsStore store;
    store.values = {{UrlSlot, ""}, {IntervalSlot, ""}};
    const UpdateSettings settings(store);
    EXPECT_EQ(settings.updateUrl(), "");
    EXPECT_EQ(settings.interval(), "");
}

struct RoundTripCase
{
    std::string name;
    std::string url;
    std::string interval;
};

class UpdateSettingsRoundTrip : public testing::TestWithParam<RoundTripCase>
{
};

// Each value goes to its own slot, exactly as given, and nothing else is written.
TEST_P(UpdateSettingsRoundTrip, SavesExactlyIntoTheEarlierSlots)
{
    const RoundTripCase &row = GetParam();
    MemorySettingsStore store;
    UpdateSettings settings(store);

    ASSERT_TRUE(settings.saveUpdateUrl(row.url));
    EXPECT_EQ(store.values, (Values{{UrlSlot, row.url}}));
    ASSERT_TRUE(settings.saveInterval(row.interval));
    EXPECT_EQ(store.values, (Values{{UrlSlot, row.url}, {IntervalSlot, row.interval}}));

    // A new instance on the same store, as at the next start.
    const UpdateSettings reopened(store);
    EXPECT_EQ(reopened.updateUrl(), row.url);
    EXPECT_EQ(reopened.interval(), row.interval);
}

INSTANTIATE_TEST_SUITE_P(
    Values, UpdateSettingsRoundTrip,
    testing::Values(RoundTripCase{"plain", "http://h/abc123", "7"}, RoundTripCase{"empty", "", ""},
                    RoundTripCase{"spaces kept", "http://h/ a b ", " 12 "},
                    RoundTripCase{"decimal and typing", "http://h/u?k=a%20b&x=1", "1,5x"},
                    RoundTripCase{"utf8",
                                  "http://h/schl\xC3\xBC"
                                  "ssel",
                                  "\xD9\xA3"},
                    RoundTripCase{"control characters", "http://h/k\r\nX: 1", "5\t"}),
    paramName<RoundTripCase>);

TEST(UpdateSettings, ReplacesTheValueSavedBefore)
{
    MemorySettingsStore store;
    UpdateSettings settings(store);
    ASSERT_TRUE(settings.saveUpdateUrl("http://h/first"));
    ASSERT_TRUE(settings.saveInterval("3"));
    ASSERT_TRUE(settings.saveUpdateUrl("http://h/second"));
    ASSERT_TRUE(settings.saveInterval("4"));
    EXPECT_EQ(store.values, (Values{{UrlSlot, "http://h/second"}, {IntervalSlot, "4"}}));
}

TEST(UpdateSettings, ReportsAStoreThatCannotWrite)
{
    MemorySettingsStore store;
    store.values = {{UrlSlot, "http://h/old"}, {IntervalSlot, "9"}};
    store.failSaves = true;
    UpdateSettings settings(store);
    EXPECT_FALSE(settings.saveUpdateUrl("http://h/new"));
    EXPECT_FALSE(settings.saveInterval("3"));
    EXPECT_EQ(settings.updateUrl(), "http://h/old");
    EXPECT_EQ(settings.interval(), "9");

    store.failSaves = false;
    EXPECT_TRUE(settings.saveInterval("3"));
    EXPECT_EQ(settings.interval(), "3");
}
