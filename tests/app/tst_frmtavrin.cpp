#include "app/frmTavrin.h"
#include "tray/MouseMessage.h"
#include "update/UpdateUrl.h"

#include "FakeEngineParts.h"
#include "FakeLoginEntryPlace.h"
#include "FakeTrayParts.h"
#include "FakeWallClock.h"
#include "MemorySettingsStore.h"
#include "ParamName.h"
#include "RecordingWindowView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

// The presenter between a recording window, tray, settings store and request
// channel, on a driven clock.
namespace {

const std::string Url = "http://127.0.0.1:9/the-key";

class Presenter : public ::testing::Test
{
protected:
    void make(const std::vector<std::string> &arguments = {})
    {
        presenter = std::make_unique<frmTavrin>(view, tray, settings, clock, wakeTimer, channel,
                                                NumberFormat(), arguments);
        view.onIntervalEdited = [this] { presenter->txtTimer_Change(); };
        tray.setMouseHandler([this](int number) { presenter->trayMouseMessage(number); });
        tray.setHostHandler([this](bool available) { presenter->trayHostChanged(available); });
    }
    // Starts with a stored key and interval, the window shown and ticking.
    void load(const std::string &interval, const std::vector<std::string> &arguments = {})
    {
        settings.values[{"settings", "TavrinKey"}] = Url;
        settings.values[{"settings", "TavrinTime"}] = interval;
        make(arguments);
        presenter->Form_Load();
        view.restore();
        presenter->Form_Resize();
        channel.urls.clear();
    }
    void tick()
    {
        clock.ms += frmTavrin::TickMs;
        presenter->Timer1_Timer();
    }
    // Types text into one key box, as the view reports it.
    void type(int box, const std::string &text)
    {
        view.keys.at(std::size_t(box)) = text;
        presenter->txtKey_Change(box);
    }
    long count(const std::string &call) const
    {
        return std::count(view.calls.begin(), view.calls.end(), call);
    }

    DrivenClock clock;
    RecordingWakeTimer wakeTimer;
    FakeRequestChannel channel{clock};
    RecordingWindowView view;
    RecordingTrayShellCore tray;
    MemorySettingsStore settings;
    std::unique_ptr<frmTavrin> presenter;
};

// Without a key the window shows at once and asks for it, its icon red.
TEST_F(Presenter, FirstStartStoresTheDefaultIntervalAndShowsTheWindow)
{
    make();
    presenter->Form_Load();
    EXPECT_EQ((settings.values[{"settings", "TavrinTime"}]), "5");
    EXPECT_EQ((settings.values.count({"settings", "TavrinKey"})), 0u);
    EXPECT_TRUE(channel.theater);
    EXPECT_EQ(channel.urls, std::vector<std::string>{""});
    EXPECT_FALSE(view.minimised);
    EXPECT_TRUE(view.shown);
    EXPECT_TRUE(view.ticking);
    EXPECT_EQ(presenter->trayState(), TrayPresence::State::ShownByUser);
    EXPECT_EQ(view.picture, WindowView::Picture::Failing);
    EXPECT_EQ(view.answer.rfind("Noch kein Schlüssel eingegeben.", 0), 0u);
}

// A regular sync reaches the window once: one caption, one icon refresh.
TEST_F(Presenter, PeriodicSyncShowsItsCaptionAndRefreshesTheIconOnce)
{
    load("0.5"); // thirty seconds
    for (int ticks = 0; ticks < 40 && channel.urls.empty(); ++ticks) {
        view.calls.clear();
        tray.calls.clear();
        tick();
    }
    ASSERT_EQ(channel.urls, std::vector<std::string>{Url});
    EXPECT_EQ(count("caption"), 1);
    EXPECT_EQ(view.caption, "KORLA DNS Conector SYNC");
    EXPECT_EQ(tray.messages(), std::vector<TrayMessage>{TrayMessage::Modify});
    EXPECT_EQ(count("picture"), 0); // still the working picture
}

TEST_F(Presenter, OutcomesSwitchTheWindowAndTrayPicture)
{
    load("5");
    type(0, "k"), type(1, "k");
    presenter->cmdKey_Click();
    channel.fail();
    EXPECT_EQ(view.picture, WindowView::Picture::Failing);
    EXPECT_EQ(presenter->trayIconHandle(), view.pictureHandle(WindowView::Picture::Failing));
    EXPECT_EQ(tray.messages().back(), TrayMessage::Modify);
    presenter->cmdKey_Click();
    channel.succeed();
    EXPECT_EQ(view.picture, WindowView::Picture::Working);
}

// An unusable interval pauses updating: red and said in the answer area until fixed.
TEST_F(Presenter, UnusableIntervalTurnsTheIconRedUntilFixed)
{
    load("5");
    tray.calls.clear();
    view.interval = "x";
    presenter->txtTimer_Change();
    EXPECT_EQ(view.picture, WindowView::Picture::Failing);
    EXPECT_EQ(view.answer, "Sync-Intervall „x“ ist nicht verwendbar; es wird nichts aktualisiert.");
    EXPECT_EQ(tray.messages(), std::vector<TrayMessage>{TrayMessage::Modify});
    view.interval = "5";
    presenter->txtTimer_Change();
    EXPECT_EQ(view.picture, WindowView::Picture::Working);
    EXPECT_EQ(view.answer, "");
    EXPECT_EQ(tray.messages().size(), 2u);
}

// A stored interval that is unusable is red from the start, in the tray too.
TEST_F(Presenter, StoredUnusableIntervalStartsRed)
{
    settings.values[{"settings", "TavrinKey"}] = Url;
    settings.values[{"settings", "TavrinTime"}] = "0";
    make();
    presenter->Form_Load();
    presenter->Form_Resize();
    EXPECT_EQ(presenter->trayState(), TrayPresence::State::InTray);
    EXPECT_EQ(presenter->trayIconHandle(), view.pictureHandle(WindowView::Picture::Failing));
}

// Failing retries bring one warning, the recovery one information; none holds
// the key, and a click on either shows the window.
TEST_F(Presenter, TrayNotifiesOncePerTurn)
{
    load("5");
    view.minimised = true;
    presenter->Form_Resize();
    for (int failures = 1; failures <= 4; ++failures) {
        channel.inFlight = true;
        channel.fail();
    }
    ASSERT_EQ(tray.notifications.size(), 1u);
    EXPECT_EQ(tray.notifications[0].first, "Aktualisierung gestört");
    channel.inFlight = true;
    channel.succeed();
    ASSERT_EQ(tray.notifications.size(), 2u);
    EXPECT_EQ(tray.notifications[1].first, "Aktualisierung läuft wieder");
    for (const auto &[title, text] : tray.notifications)
        EXPECT_EQ(text.find("the-key"), std::string::npos) << text;
    EXPECT_EQ(tray.icons, (std::vector<NotificationIcon>{NotificationIcon::Warning,
                                                         NotificationIcon::Information}));
    ASSERT_FALSE(view.shown);
    tray.click(MouseMessage::NotificationClick);
    EXPECT_TRUE(view.shown);
}

// The area's times are written when it is shown, not kept fresh while hidden:
// an outcome before midnight reads "gestern" when the window opens the next day.
TEST_F(Presenter, AnswerAreaTellsTheTimeAsOfWhenItIsShown)
{
    load("5");
    FakeWallClock wall;
    presenter->setWallClock(wall);
    wall.now = wall.at(2026, 12, 9, 23, 58);
    channel.inFlight = true;
    channel.finish({RequestOutcome::Failure::None, 200, "", 0, "good 203.0.113.7"});
    EXPECT_EQ(view.answer.rfind("Zuletzt aktualisiert: heute 23:58\n", 0), 0u) << view.answer;
    view.minimised = true;
    presenter->Form_Resize();
    ASSERT_FALSE(view.shown);
    const auto wakeBefore = presenter->plannedWakeMs();
    wall.now = wall.at(2026, 12, 10, 8, 0);
    EXPECT_EQ(presenter->plannedWakeMs(), wakeBefore);
    presenter->optionen_Click();
    EXPECT_EQ(view.answer.rfind("Zuletzt aktualisiert: gestern 23:58\n", 0), 0u) << view.answer;
}

struct MinimiseCase
{
    std::string name;
    bool trayAvailable;
};

class PresenterMinimise : public Presenter, public ::testing::WithParamInterface<MinimiseCase>
{
};

// Minimised, the window hides behind the icon and stops ticking; without a tray
// it must stay where the user can reach it, and keep counting.
TEST_P(PresenterMinimise, HidesOnlyWhereATrayHoldsTheIcon)
{
    load("5");
    tray.available = GetParam().trayAvailable;
    tray.calls.clear();
    view.minimised = true;
    presenter->Form_Resize();
    EXPECT_EQ(view.shown, !GetParam().trayAvailable);
    EXPECT_EQ(view.ticking, !GetParam().trayAvailable);
    EXPECT_EQ(presenter->plannedWakeMs().has_value(), GetParam().trayAvailable);
    EXPECT_EQ(tray.messages(), GetParam().trayAvailable ? std::vector<TrayMessage>{TrayMessage::Add}
                                                        : std::vector<TrayMessage>{});
}

INSTANTIATE_TEST_SUITE_P(Tray, PresenterMinimise,
                         ::testing::Values(MinimiseCase{"tray", true},
                                           MinimiseCase{"noTray", false}),
                         paramName<MinimiseCase>);

// Started where no tray exists yet: the first request goes out at once, the
// window waits a few seconds for a tray and then shows in its normal state.
TEST_F(Presenter, WithoutTrayTheWindowShowsAfterAFewSecondsAndRequestsAtOnce)
{
    tray.available = false;
    settings.values[{"settings", "TavrinKey"}] = Url;
    make();
    presenter->Form_Load();
    presenter->Form_Resize(); // as the window reports its start-up minimise
    EXPECT_EQ(channel.urls, std::vector<std::string>{Url});
    for (int second = 1; second < TrayPresence::GraceTicks; ++second)
        tick();
    EXPECT_FALSE(view.shown);
    EXPECT_TRUE(view.ticking);
    tick();
    EXPECT_TRUE(view.shown);
    EXPECT_FALSE(view.minimised);
    EXPECT_TRUE(view.ticking);
    EXPECT_TRUE(tray.calls.empty());
}

struct HostCase
{
    std::string name;
    bool trayAtStart;
    int ticks;      // after start-up
    bool userOpens; // "Optionen..." before the tray changes
    std::vector<bool> trayChanges;
    bool shown;
    std::vector<TrayMessage> messages;
};

class PresenterTrayHost : public Presenter, public ::testing::WithParamInterface<HostCase>
{
};

// Hidden, the window sleeps (no ticks, a wake-up planned); shown, it ticks.
TEST_P(PresenterTrayHost, WindowFollowsTheTrayUnlessTheUserOpenedIt)
{
    tray.available = GetParam().trayAtStart;
    settings.values[{"settings", "TavrinKey"}] = Url;
    make();
    presenter->Form_Load();
    presenter->Form_Resize();
    for (int second = 0; second < GetParam().ticks; ++second)
        tick();
    if (GetParam().userOpens)
        presenter->optionen_Click();
    for (bool available : GetParam().trayChanges)
        tray.setAvailable(available);
    EXPECT_EQ(view.shown, GetParam().shown);
    EXPECT_EQ(view.ticking, GetParam().shown);
    EXPECT_EQ(presenter->plannedWakeMs().has_value(), !GetParam().shown);
    EXPECT_EQ(tray.messages(), GetParam().messages);
}

constexpr int Grace = TrayPresence::GraceTicks;
constexpr auto Add = TrayMessage::Add;
constexpr auto Delete = TrayMessage::Delete;

INSTANTIATE_TEST_SUITE_P(
    Host, PresenterTrayHost,
    ::testing::Values(
        HostCase{"trayDuringTheWait", false, 2, false, {true}, false, {Add}},
        HostCase{"trayAfterTheWait", false, Grace, false, {true}, false, {Add}},
        HostCase{"trayGoesWhileHidden", true, 0, false, {false}, true, {Add, Delete}},
        HostCase{"trayComesBack", true, 0, false, {false, true}, false, {Add, Delete, Add}},
        HostCase{"openedWindowStays", true, 0, true, {false, true}, true, {Add, Delete}}),
    paramName<HostCase>);

struct ClickCase
{
    std::string name;
    std::vector<std::string> arguments;
    int mouseMessage;
    const char *expected; // the window call it leads to, or "" for none
};

class PresenterTrayClick : public Presenter, public ::testing::WithParamInterface<ClickCase>
{
};

TEST_P(PresenterTrayClick, DoubleClickRestoresOnlyWithTheSwitch)
{
    load("5", GetParam().arguments);
    view.minimised = true;
    presenter->Form_Resize();
    view.calls.clear();
    tray.click(GetParam().mouseMessage);
    const std::string expected = GetParam().expected;
    for (const char *call : {"restore", "popUpMenu"})
        EXPECT_EQ(count(call), call == expected ? 1 : 0) << call;
    if (expected == "restore") {
        EXPECT_TRUE(view.ticking);
        EXPECT_EQ(tray.messages().back(), TrayMessage::Delete);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, PresenterTrayClick,
    ::testing::Values(ClickCase{"rightClick", {}, 516, "popUpMenu"},
                      ClickCase{"doubleClickWithoutSwitch", {}, 515, ""},
                      ClickCase{"doubleClickWithSwitch", {"/a"}, 515, "restore"},
                      ClickCase{"doubleClickUpperCase", {"/A"}, 515, "restore"},
                      ClickCase{"leftRelease", {"/a"}, 514, ""}),
    paramName<ClickCase>);

TEST_F(Presenter, OkAppendsTheSecondBoxToTheBaseUrlStoresAndRequestsIt)
{
    load("5");
    view.keys = {"my key", "my key"};
    presenter->txtKey_Change(1);
    EXPECT_TRUE(view.okEnabled);
    presenter->cmdKey_Click();
    const std::string expected = UpdateUrl::compose(UpdateUrl::baseUrl(), "my key");
    EXPECT_EQ(presenter->TavrinVar, expected);
    EXPECT_EQ((settings.values[{"settings", "TavrinKey"}]), expected);
    EXPECT_EQ(channel.urls, std::vector<std::string>{expected});
}

struct KeyCase
{
    std::string name;
    std::vector<std::pair<int, std::string>> typing; // box, its whole text after the change
    int pressedIn;                                   // the box a key is pressed in; -1: OK
    int keyAscii;
    bool okEnabled;                    // after the typing
    std::optional<std::string> stored; // the key applied, or none
};

class PresenterKey : public Presenter, public ::testing::WithParamInterface<KeyCase>
{
};

// OK, or Enter in a key box, applies the second box's text only while both boxes
// hold the same key; anything else leaves the stored URL, sends nothing and
// makes no start-at-login entry.
TEST_P(PresenterKey, OnlyAConfirmedKeyIsStoredAndRequested)
{
    const KeyCase &c = GetParam();
    FakeLoginEntryPlace loginEntry;
    load("5");
    presenter->setLoginEntry(&loginEntry);
    for (const auto &[box, text] : c.typing)
        type(box, text);
    EXPECT_EQ(view.okEnabled, c.okEnabled);
    if (c.pressedIn < 0)
        presenter->cmdKey_Click();
    else
        presenter->txtKey_KeyPress(c.pressedIn, c.keyAscii);
    const std::string expected =
        c.stored ? UpdateUrl::compose(UpdateUrl::baseUrl(), *c.stored) : Url;
    EXPECT_EQ(presenter->TavrinVar, expected);
    EXPECT_EQ((settings.values[{"settings", "TavrinKey"}]), expected);
    EXPECT_EQ(channel.urls,
              c.stored ? std::vector<std::string>{expected} : std::vector<std::string>{});
    EXPECT_EQ(loginEntry.creations, c.stored ? 1 : 0);
}

const int Enter = frmTavrin::EnterKey;

INSTANTIATE_TEST_SUITE_P(
    Keys, PresenterKey,
    ::testing::Values(
        KeyCase{"untouched", {}, -1, 0, false, std::nullopt},
        KeyCase{"typedTwice", {{0, "k1"}, {1, "k1"}}, -1, 0, true, "k1"},
        KeyCase{"enterInFirstBox", {{0, "k1"}, {1, "k1"}}, 0, Enter, true, "k1"},
        KeyCase{"enterInSecondBox", {{1, "k1"}, {0, "k1"}}, 1, Enter, true, "k1"},
        KeyCase{"otherKeyInBox", {{0, "k1"}, {1, "k1"}}, 1, 'a', true, std::nullopt},
        KeyCase{"differsAgain", {{0, "k"}, {1, "k"}, {0, "kx"}}, -1, 0, false, std::nullopt},
        KeyCase{"enterWhileDiffering", {{0, "a"}, {1, "b"}}, 1, Enter, false, std::nullopt},
        KeyCase{
            "bothEmptied", {{0, "k"}, {1, "k"}, {0, ""}, {1, ""}}, 0, Enter, false, std::nullopt},
        KeyCase{"equalAgain", {{0, "k"}, {1, "k"}, {0, "kx"}, {1, "kx"}}, -1, 0, true, "kx"},
        KeyCase{"spacesAndSlashes", {{0, "a b/c"}, {1, "a b/c"}}, 0, Enter, true, "a b/c"}),
    paramName<KeyCase>);

TEST_F(Presenter, QuitEndsOnlyWhenConfirmedAndLeavesNoIcon)
{
    load("5");
    view.quitAnswer = false;
    presenter->beenden_Click();
    EXPECT_EQ(count("endProgram"), 0);
    view.quitAnswer = true;
    tray.calls.clear();
    presenter->beenden_Click();
    EXPECT_EQ(count("endProgram"), 1);
    EXPECT_EQ(tray.messages(), std::vector<TrayMessage>{TrayMessage::Delete});
}

} // namespace
