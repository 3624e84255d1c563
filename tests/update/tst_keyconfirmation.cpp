#include "update/KeyConfirmation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Each row replays changes of the two boxes; after every change the OK state
// must be as listed. An empty list only checks the start state.
struct Typing
{
    std::vector<std::string> entries;
    std::vector<std::string> confirmations;
    std::vector<bool> enabled;
};

class KeyConfirmationTyping : public testing::TestWithParam<Typing>
{
};

TEST_P(KeyConfirmationTyping, OkState)
{
    const Typing &t = GetParam();
    ASSERT_EQ(t.entries.size(), t.confirmations.size());
    ASSERT_EQ(t.entries.size(), t.enabled.size());
    KeyConfirmation keys;
    EXPECT_FALSE(keys.okEnabled());
    for (std::size_t i = 0; i < t.entries.size(); ++i) {
        EXPECT_EQ(keys.keyChanged(t.entries[i], t.confirmations[i]), t.enabled[i])
            << "change " << i;
        EXPECT_EQ(keys.okEnabled(), t.enabled[i]) << "change " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    KeyConfirmation, KeyConfirmationTyping,
    testing::Values(
        Typing{{}, {}, {}}, // start
        Typing{{"g", "ge", "ge", "ge"},
               {"", "", "g", "ge"},
               {false, false, false, true}},                    // typed until equal
        Typing{{"Key", "KEY"}, {"key", "key"}, {false, false}}, // case differs
        Typing{{"key "}, {"key"}, {false}},                     // trailing blank differs
        Typing{{"straße"}, {"STRASSE"}, {false}},               // no case folding
        Typing{{"abc", "abcd", ""}, {"abc", "abc", "abc"}, {true, false, false}},   // differs again
        Typing{{"abc", "abcd", "abc"}, {"abc", "abc", "abc"}, {true, false, true}}, // equal again
        Typing{{"x", ""}, {"", ""}, {false, false}}, // empty equals empty, yet no key
        Typing{{"k", "k", ""}, {"", "k", ""}, {false, true, false}}, // both emptied
        Typing{{" "}, {" "}, {true}}));                              // a blank is a key

} // namespace
