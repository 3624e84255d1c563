#include "app/StartAtLogin.h"
#include "base/CoreLog.h"

#include "FakeLoginEntryPlace.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> logged;

void record(CoreLog::Area, CoreLog::Level, const std::string &message)
{
    logged.push_back(message);
}

using State = LoginEntryPlace::State;
using Outcome = StartAtLogin::Outcome;

struct RuleCase
{
    std::string name;
    State state;
    bool creatable;
    Outcome outcome;
    int creations;
    std::string logWord;
};

class StartAtLoginRule : public ::testing::TestWithParam<RuleCase>
{
};

// Only a missing entry is made; one that is there or switched off stays; every
// decision is logged.
TEST_P(StartAtLoginRule, MakesOnlyAMissingEntry)
{
    const RuleCase &c = GetParam();
    FakeLoginEntryPlace place;
    place.current = c.state;
    place.creatable = c.creatable;
    logged.clear();
    CoreLog::setSink(&record);
    EXPECT_EQ(StartAtLogin::keyApplied(place), c.outcome);
    CoreLog::setSink(nullptr);
    EXPECT_EQ(place.creations, c.creations);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find(place.where()), std::string::npos) << logged[0];
    EXPECT_NE(logged[0].find(c.logWord), std::string::npos) << logged[0];
}

INSTANTIATE_TEST_SUITE_P(
    States, StartAtLoginRule,
    ::testing::Values(
        RuleCase{"missing", State::Missing, true, Outcome::Created, 1, "made"},
        RuleCase{"missingUnwritable", State::Missing, false, Outcome::Failed, 0, "disk full"},
        RuleCase{"present", State::Present, true, Outcome::Kept, 0, "left as it is"},
        RuleCase{"switchedOff", State::SwitchedOff, true, Outcome::SwitchedOff, 0, "left off"}),
    paramName<RuleCase>);

struct SwitchCase
{
    std::string name;
    std::string text;
    bool off;
};

class DesktopEntrySwitch : public ::testing::TestWithParam<SwitchCase>
{
};

TEST_P(DesktopEntrySwitch, ReadsTheUsersSwitch)
{
    EXPECT_EQ(StartAtLogin::desktopEntrySwitchedOff(GetParam().text), GetParam().off);
}

const std::string Head = "[Desktop Entry]\nType=Application\nExec=t /a\n";

INSTANTIATE_TEST_SUITE_P(
    Entries, DesktopEntrySwitch,
    ::testing::Values(SwitchCase{"asMade", Head + "X-GNOME-Autostart-enabled=true\n", false},
                      SwitchCase{"hidden", Head + "Hidden=true\n", true},
                      SwitchCase{"hiddenOneWithBlanks", Head + "Hidden = 1 \r\n", true},
                      SwitchCase{"hiddenFalse", Head + "Hidden=false\n", false},
                      SwitchCase{"gnomeOff", Head + "X-GNOME-Autostart-enabled=false\n", true},
                      SwitchCase{"lastLineUnended", Head + "X-GNOME-Autostart-enabled=0", true},
                      SwitchCase{"otherGroup", Head + "[Desktop Action x]\nHidden=true\n", false},
                      SwitchCase{"commented", Head + "#Hidden=true\n", false},
                      SwitchCase{"otherCase", Head + "hidden=True\n", false},
                      SwitchCase{"empty", "", false}),
    paramName<SwitchCase>);

struct PathCase
{
    std::string name;
    std::string path;
    std::optional<std::string> exec;
};

class DesktopEntryText : public ::testing::TestWithParam<PathCase>
{
};

// The template's lines, but Exec starting the path with /a, quoted and escaped
// so that a launcher runs exactly that file.
TEST_P(DesktopEntryText, StartsTheProgramsPathWithA)
{
    const PathCase &c = GetParam();
    const std::optional<std::string> text = StartAtLogin::desktopEntry(c.path);
    ASSERT_EQ(text.has_value(), c.exec.has_value());
    if (!text)
        return;
    std::istringstream made(*text);
    std::istringstream shipped{std::string(StartAtLogin::desktopEntryTemplate())};
    int execLines = 0;
    for (std::string line, want; std::getline(shipped, want);) {
        ASSERT_TRUE(std::getline(made, line));
        if (want.rfind("Exec=", 0) == 0) {
            ++execLines;
            EXPECT_EQ(line, *c.exec);
        } else {
            EXPECT_EQ(line, want);
        }
    }
    EXPECT_EQ(execLines, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DesktopEntryText,
    ::testing::Values(
        PathCase{"plain", "/usr/bin/tavrin-connector", "Exec=/usr/bin/tavrin-connector /a"},
        PathCase{"blank", "/home/u/my apps/t", "Exec=\"/home/u/my apps/t\" /a"},
        PathCase{"percent", "/opt/100%/t", "Exec=/opt/100%%/t /a"},
        PathCase{"shellSigns", "/o/$x`\"\\", "Exec=\"/o/\\\\$x\\\\`\\\\\"\\\\\\\\\" /a"},
        PathCase{"umlaut", "/home/jörg/t", "Exec=/home/jörg/t /a"},
        PathCase{"relative", "bin/t", std::nullopt}, PathCase{"empty", "", std::nullopt},
        PathCase{"lineBreak", "/a\nExec=/bin/sh", std::nullopt},
        PathCase{"notUtf8", "/home/j\xF6rg/t", std::nullopt}),
    paramName<PathCase>);

struct ApprovedCase
{
    std::string name;
    std::string bytes;
    bool off;
};

class StartupApproved : public ::testing::TestWithParam<ApprovedCase>
{
};

TEST_P(StartupApproved, OddFirstByteIsOff)
{
    EXPECT_EQ(StartAtLogin::startupApprovedSwitchedOff(GetParam().bytes), GetParam().off);
}

INSTANTIATE_TEST_SUITE_P(Values, StartupApproved,
                         ::testing::Values(ApprovedCase{"on", std::string("\x02\0\0", 3), false},
                                           ApprovedCase{"onAgain", "\x06", false},
                                           ApprovedCase{"off", std::string("\x03\0", 2), true},
                                           ApprovedCase{"offOther", "\x07", true},
                                           ApprovedCase{"empty", "", false}),
                         paramName<ApprovedCase>);

} // namespace
