#include "update/SyncInterval.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>

namespace {

const NumberFormat German{",", "0"};
const NumberFormat C{".", "0"};

// target -1 marks a text that must be refused; minutes is then unused.
struct Case
{
    const char *name;
    std::string text;
    NumberFormat format;
    double minutes;
    std::int64_t target;
};

std::ostream &operator<<(std::ostream &out, const Case &c)
{
    return out << c.name << " \"" << c.text << "\"";
}

class SyncIntervalTest : public testing::TestWithParam<Case>
{
};

TEST_P(SyncIntervalTest, TargetSeconds)
{
    const Case &c = GetParam();
    const std::optional<double> m = SyncInterval::minutes(c.text, c.format);
    const std::optional<std::int64_t> t = SyncInterval::targetSeconds(c.text, c.format);
    if (c.target < 0) {
        EXPECT_FALSE(m.has_value());
        EXPECT_FALSE(t.has_value());
        return;
    }
    ASSERT_TRUE(m.has_value());
    EXPECT_DOUBLE_EQ(*m, c.minutes);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(*t, c.target);
}

INSTANTIATE_TEST_SUITE_P(
    Usable, SyncIntervalTest,
    testing::Values(Case{"whole minutes", "5", German, 5.0, 300},
                    Case{"german decimal comma", "1,5", German, 1.5, 90},
                    Case{"c decimal point under german", "1.5", German, 1.5, 90},
                    Case{"c decimal point under c", "1.5", C, 1.5, 90},
                    Case{"german dot is no group separator", "1.500", German, 1.5, 90},
                    Case{"blanks around", "  5 ", German, 5.0, 300},
                    Case{"unicode blanks around", "\u00a0\t5\u3000", German, 5.0, 300},
                    Case{"under a second is raised", "0,01", German, 0.01, 30},
                    Case{"tiny interval is raised", "0,0000001", German, 1e-7, 30},
                    Case{"ten hours", "600", German, 600.0, 36000},
                    Case{"exponent", "1e3", C, 1000.0, 60000},
                    Case{"largest accepted", "1e13", C, 1e13, 600000000000000},
                    // Products that land a hair off a whole number in binary.
                    Case{"16.1 min above 966 s", "16,1", German, 16.1, 966},
                    Case{"4.15 min above 249 s", "4.15", C, 4.15, 249},
                    Case{"8.05 min above 483 s", "8,05", German, 8.05, 483},
                    Case{"4.1 min below 246 s", "4,1", German, 4.1, 246},
                    Case{"0.1 min is raised", "0,1", German, 0.1, 30},
                    Case{"a true fraction under the minimum is raised", "0,0251", German, 0.0251,
                         30},
                    Case{"a true fraction still rounds up", "0,5001", German, 0.5001, 31},
                    // The forms a locale-aware reader accepts besides the plain one.
                    Case{"plus sign", "+5", German, 5.0, 300},
                    Case{"trailing separator", "5,", German, 5.0, 300},
                    Case{"leading separator", ",5", German, 0.5, 30},
                    Case{"german exponent with comma", "1,5E1", German, 15.0, 900},
                    Case{"negative exponent", "5e-1", C, 0.5, 30},
                    Case{"typographic minus in exponent", "5e\u22121", C, 0.5, 30},
                    Case{"native digits with their own separator", "\u0665\u066b\u0665",
                         NumberFormat{"\u066b", "\u0660"}, 5.5, 330}),
    paramName<Case>);

INSTANTIATE_TEST_SUITE_P(
    Refused, SyncIntervalTest,
    testing::Values(
        Case{"empty", "", German, 0.0, -1}, Case{"only blanks", "   ", German, 0.0, -1},
        Case{"letters", "abc", German, 0.0, -1}, Case{"number with unit", "5 min", German, 0.0, -1},
        Case{"zero", "0", German, 0.0, -1}, Case{"negative", "-1", German, 0.0, -1},
        Case{"negative fraction", "-0,5", German, 0.0, -1}, Case{"inf", "inf", German, 0.0, -1},
        Case{"nan", "nan", C, 0.0, -1}, Case{"seconds overflow a double", "1e308", C, 0.0, -1},
        Case{"too long to count", "1e14", C, 0.0, -1},
        Case{"comma is a group separator under c", "1,5", C, 0.0, -1},
        Case{"german grouped thousands", "1.000,5", German, 0.0, -1},
        Case{"hexadecimal", "0x10", C, 0.0, -1}, Case{"two separators", "1,5,5", German, 0.0, -1},
        Case{"exponent without digits", "1e", C, 0.0, -1},
        Case{"blank inside", "1 000", German, 0.0, -1},
        Case{"zero-width space is no blank", "5\u200b", German, 0.0, -1},
        Case{"malformed UTF-8", "5\xff", German, 0.0, -1}, Case{"underflow", "1e-400", C, 0.0, -1}),
    paramName<Case>);

struct MinimumCase
{
    std::string text;
    NumberFormat format;
    std::int64_t target;
    bool raised;
};

std::ostream &operator<<(std::ostream &out, const MinimumCase &c)
{
    return out << '"' << c.text << '"';
}

class SyncIntervalMinimum : public testing::TestWithParam<MinimumCase>
{
};

// Under half a minute counts as half a minute; the minutes read stay as typed.
TEST_P(SyncIntervalMinimum, RaisesShortIntervals)
{
    const MinimumCase &c = GetParam();
    EXPECT_EQ(SyncInterval::targetSeconds(c.text, c.format), c.target);
    EXPECT_EQ(SyncInterval::raised(c.text, c.format), c.raised);
    const std::optional<double> m = SyncInterval::minutes(c.text, c.format);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(*m * 60.0 < 30.0, c.raised);
}

INSTANTIATE_TEST_SUITE_P(
    SyncInterval, SyncIntervalMinimum,
    testing::Values(MinimumCase{"0,01", German, 30, true}, MinimumCase{"0.4", C, 30, true},
                    MinimumCase{"0,49", German, 30, true}, MinimumCase{"0.5", C, 30, false},
                    MinimumCase{"0,5", German, 30, false}, MinimumCase{"0.6", C, 36, false},
                    MinimumCase{"1", German, 60, false}));

TEST(SyncIntervalMinimum, UnusableTextIsNotRaised)
{
    for (const char *text : {"", "abc", "0", "-0,1"})
        EXPECT_FALSE(SyncInterval::raised(text, German)) << '"' << text << '"';
}

} // namespace
