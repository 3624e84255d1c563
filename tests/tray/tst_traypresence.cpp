#include "tray/TrayPresence.h"
#include "update/CoreLog.h"

#include "FakeTrayParts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> warnings;

void recordWarning(CoreLog::Area, CoreLog::Level level, const std::string &message)
{
    if (level == CoreLog::Level::Warning)
        warnings.push_back(message);
}

class TrayPresenceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        warnings.clear();
        CoreLog::setSink(recordWarning);
    }
    void TearDown() override { CoreLog::setSink(nullptr); }

    RecordingTrayShellCore shell;
    FakeTrayWindow window;
    TrayPresence presence{shell, window};
};

TEST_F(TrayPresenceTest, IconWhileHiddenGoneWhenShownOrEnding)
{
    EXPECT_TRUE(presence.windowMinimised());
    presence.pictureChanged();
    presence.windowRestored();
    presence.programEnding();
    EXPECT_EQ(shell.messages(),
              (std::vector<TrayMessage>{TrayMessage::Add, TrayMessage::Modify, TrayMessage::Delete,
                                        TrayMessage::Delete}));
    EXPECT_TRUE(warnings.empty());
}

// Without a notification area the window must stay reachable: it does not hide,
// no icon is sent, and the log says so once, not on every minimise.
TEST_F(TrayPresenceTest, WithoutTrayTheWindowStaysAndOneWarningIsLogged)
{
    shell.available = false;
    EXPECT_FALSE(presence.windowMinimised());
    EXPECT_FALSE(presence.windowMinimised());
    EXPECT_TRUE(shell.calls.empty());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("no system tray"), std::string::npos);

    shell.available = true;
    EXPECT_TRUE(presence.windowMinimised());
    EXPECT_EQ(shell.messages(), std::vector<TrayMessage>{TrayMessage::Add});
}

} // namespace
