#include "base/CoreLog.h"
#include "tray/TrayPresence.h"

#include "FakeTrayParts.h"
#include "ParamName.h"

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
    EXPECT_TRUE(presence.windowMinimised(true));
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
    EXPECT_FALSE(presence.windowMinimised(true));
    EXPECT_FALSE(presence.windowMinimised(true));
    EXPECT_TRUE(shell.calls.empty());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("no system tray"), std::string::npos);

    shell.available = true;
    EXPECT_TRUE(presence.windowMinimised(true));
    EXPECT_EQ(shell.messages(), std::vector<TrayMessage>{TrayMessage::Add});
}

// What happens to the window and the tray, one event after the other.
enum class Event
{
    StartWithTray,    // minimised at start, a tray there
    StartWithoutTray, // minimised at start, no tray
    Tick,
    Grace, // as many ticks as a window waits for a tray
    TrayAppears,
    TrayGoes,
    UserOpens,
    UserMinimises,
};

using State = TrayPresence::State;
using Step = TrayPresence::Step;
constexpr auto Add = TrayMessage::Add;
constexpr auto Delete = TrayMessage::Delete;

struct PresenceCase
{
    std::string name;
    std::vector<Event> events;
    Step lastStep;
    State state;
    std::vector<TrayMessage> messages;
    std::string lastWarning; // "" for none at all
};

class TrayPresenceEvents : public TrayPresenceTest,
                           public ::testing::WithParamInterface<PresenceCase>
{
protected:
    Step run(Event event)
    {
        switch (event) {
        case Event::StartWithTray:
        case Event::StartWithoutTray:
            shell.available = event == Event::StartWithTray;
            return presence.windowMinimised(false) ? Step::Hide : Step::None;
        case Event::Tick:
            return presence.tick();
        case Event::Grace: {
            Step step = Step::None;
            for (int tick = 0; tick < TrayPresence::GraceTicks; ++tick)
                step = presence.tick();
            return step;
        }
        case Event::TrayAppears:
        case Event::TrayGoes:
            shell.available = event == Event::TrayAppears;
            return presence.hostChanged(shell.available);
        case Event::UserOpens:
            presence.windowOpened();
            return Step::None;
        case Event::UserMinimises:
            return presence.windowMinimised(true) ? Step::Hide : Step::None;
        }
        return Step::None;
    }
};

TEST_P(TrayPresenceEvents, WindowIsAlwaysReachable)
{
    Step last = Step::None;
    for (Event event : GetParam().events)
        last = run(event);
    EXPECT_EQ(last, GetParam().lastStep);
    EXPECT_EQ(presence.state(), GetParam().state);
    EXPECT_EQ(shell.messages(), GetParam().messages);
    EXPECT_EQ(warnings.empty() ? "" : warnings.back(), GetParam().lastWarning);
}

const std::string ShownInstead = "no system tray; the window is shown instead";
const std::string TrayGone = "system tray gone; the window is shown instead";

INSTANTIATE_TEST_SUITE_P(
    Presence, TrayPresenceEvents,
    ::testing::Values(
        PresenceCase{"startInTray", {Event::StartWithTray}, Step::Hide, State::InTray, {Add}, ""},
        PresenceCase{"waitsForATray",
                     {Event::StartWithoutTray, Event::Tick, Event::Tick, Event::Tick, Event::Tick},
                     Step::None,
                     State::WaitingForTray,
                     {},
                     ""},
        PresenceCase{"shownAfterTheGrace",
                     {Event::StartWithoutTray, Event::Grace},
                     Step::Show,
                     State::ShownForWantOfTray,
                     {},
                     ShownInstead},
        PresenceCase{"shownOnlyOnce",
                     {Event::StartWithoutTray, Event::Grace, Event::Grace},
                     Step::None,
                     State::ShownForWantOfTray,
                     {},
                     ShownInstead},
        PresenceCase{"trayDuringTheGrace",
                     {Event::StartWithoutTray, Event::Tick, Event::TrayAppears, Event::Grace},
                     Step::None,
                     State::InTray,
                     {Add},
                     ""},
        PresenceCase{"trayAfterTheGrace",
                     {Event::StartWithoutTray, Event::Grace, Event::TrayAppears},
                     Step::Hide,
                     State::InTray,
                     {Add},
                     ShownInstead},
        PresenceCase{"trayGoesWhileHidden",
                     {Event::StartWithTray, Event::TrayGoes},
                     Step::Show,
                     State::ShownForWantOfTray,
                     {Add, Delete},
                     TrayGone},
        PresenceCase{"trayComesBack",
                     {Event::StartWithTray, Event::TrayGoes, Event::TrayAppears},
                     Step::Hide,
                     State::InTray,
                     {Add, Delete, Add},
                     TrayGone},
        PresenceCase{"secondTrayAddsNoSecondIcon",
                     {Event::StartWithTray, Event::TrayAppears},
                     Step::None,
                     State::InTray,
                     {Add},
                     ""},
        PresenceCase{"openedByTheUserStaysOpen",
                     {Event::StartWithTray, Event::UserOpens, Event::TrayGoes, Event::TrayAppears},
                     Step::None,
                     State::ShownByUser,
                     {Add, Delete},
                     ""},
        PresenceCase{"openedWhileWaiting",
                     {Event::StartWithoutTray, Event::UserOpens, Event::Grace, Event::TrayAppears},
                     Step::None,
                     State::ShownByUser,
                     {Delete},
                     ""},
        PresenceCase{"minimisedWithoutTrayGoesToTheNextOne",
                     {Event::StartWithTray, Event::UserOpens, Event::TrayGoes, Event::UserMinimises,
                      Event::TrayAppears},
                     Step::Hide,
                     State::InTray,
                     {Add, Delete, Add},
                     "no system tray available; the window stays minimised"}),
    paramName<PresenceCase>);

} // namespace
