#include "update/SyncCountdown.h"
#include "update/SyncInterval.h"
#include "update/UpdateEngine.h"

#include "FakeEngineParts.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string Url = "http://127.0.0.1:9/the-key";
const NumberFormat German{",", "0"};

// One engine with recording parts, on a driven clock; tick() moves the clock on
// by a second and ticks, as the window's timer does while it is shown.
struct Engine
{
    DrivenClock clock;
    RecordingWakeTimer timer;
    FakeRequestChannel channel{clock};
    RecordingUpdateListener listener;
    UpdateEngine engine;

    explicit Engine(NumberFormat format = NumberFormat())
        : engine(clock, timer, channel, listener, std::move(format))
    {
    }
    // Starts with the URL and the interval, then forgets the first request.
    void load(const std::string &interval)
    {
        engine.setUpdateUrl(Url);
        engine.intervalChanged(interval);
        engine.start();
        forget();
    }
    void forget()
    {
        channel.urls.clear();
        channel.times.clear();
    }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i) {
            clock.ms += UpdateEngine::TickMs;
            engine.tick();
        }
    }
    // Ticks until a request goes out; how many ticks that took, -1 past limit.
    int ticksUntilRequest(int limit)
    {
        const size_t before = channel.urls.size();
        for (int i = 1; i <= limit; ++i) {
            tick();
            if (channel.urls.size() > before)
                return i;
        }
        return -1;
    }
    // Sleeping: moves the clock to the planned wake-up and wakes.
    void wake()
    {
        clock.ms = *engine.plannedWakeMs();
        engine.wakeUp();
    }
};

struct CountdownCase
{
    const char *interval;
    bool german;
    int ticksToSync;
    const char *firstCaption;
};

class Countdown : public testing::TestWithParam<CountdownCase>
{
};

TEST_P(Countdown, CountsDownThenSyncsAndStartsOver)
{
    const CountdownCase c = GetParam();
    Engine e(c.german ? German : NumberFormat());
    e.load(c.interval);
    e.tick();
    EXPECT_EQ(e.listener.caption, c.firstCaption);
    EXPECT_EQ(e.ticksUntilRequest(100000), c.ticksToSync - 1);
    EXPECT_EQ(e.channel.urls, std::vector<std::string>{Url});
    EXPECT_EQ(e.listener.kinds.back(), RequestKind::Sync);
    EXPECT_EQ(e.listener.caption, SyncCountdown::syncCaption());
    EXPECT_EQ(e.listener.syncs, 1);
    EXPECT_EQ(e.engine.tickCount(), 0);
    EXPECT_EQ(e.ticksUntilRequest(100000), c.ticksToSync);
}

INSTANTIATE_TEST_SUITE_P(Intervals, Countdown,
                         testing::Values(CountdownCase{"0.05", false, 31, "Count-Down: 29Sec."},
                                         CountdownCase{"0,01", true, 31, "Count-Down: 29Sec."},
                                         CountdownCase{"0.4", false, 31, "Count-Down: 29Sec."},
                                         CountdownCase{"0.5", false, 31, "Count-Down: 29Sec."},
                                         CountdownCase{"0.6", false, 37, "Count-Down: 35Sec."},
                                         CountdownCase{"1", false, 61, "Count-Down: 59Sec."},
                                         CountdownCase{"5", false, 301, "Count-Down: 299Sec."},
                                         CountdownCase{"1,5", true, 91, "Count-Down: 89Sec."},
                                         CountdownCase{"1.5", true, 91, "Count-Down: 89Sec."}));

class PausedInterval : public testing::TestWithParam<const char *>
{
};

TEST_P(PausedInterval, HoldsTheCountUntilTheTextIsUsableAgain)
{
    Engine e;
    e.load("5");
    e.tick(10);
    e.engine.intervalChanged(GetParam());
    e.tick(1000);
    EXPECT_TRUE(e.channel.urls.empty());
    EXPECT_EQ(e.engine.tickCount(), 10);
    EXPECT_EQ(e.listener.caption, "Count-Down: 290Sec.");
    e.engine.intervalChanged("5");
    e.tick();
    EXPECT_EQ(e.listener.caption, "Count-Down: 289Sec.");
}

INSTANTIATE_TEST_SUITE_P(Unusable, PausedInterval, testing::Values("", "abc", "0", "-1", " "));

TEST(Retry, LadderUntilSuccessThenTheRegularSync)
{
    Engine e;
    e.load("60");
    e.channel.inFlight = true;
    e.channel.fail();
    // 30 s, 1, 2, 4, 8 minutes, then every 8 minutes.
    for (int expected : {30, 60, 120, 240, 480, 480}) {
        EXPECT_EQ(e.ticksUntilRequest(1000), expected);
        EXPECT_EQ(e.listener.kinds.back(), RequestKind::Retry);
        EXPECT_EQ(e.listener.health, UpdateHealth::Failing);
        e.channel.fail();
    }
    EXPECT_EQ(e.ticksUntilRequest(1000), 480);
    e.channel.succeed();
    EXPECT_EQ(e.listener.health, UpdateHealth::Good);
    EXPECT_EQ(e.engine.nextRetryDueMs(), std::nullopt);
    // Retries are no syncs: the count went on to the regular sync, 3601 ticks
    // after start-up, and nothing comes before it.
    EXPECT_EQ(e.engine.tickCount(), 1890);
    EXPECT_EQ(e.ticksUntilRequest(4000), 3601 - 1890);
    EXPECT_EQ(e.listener.kinds.back(), RequestKind::Sync);
}

struct RetryBeforeSyncCase
{
    int ticksBeforeFailure;
    int requestAfter;
    bool isSync;
};

class RetryBeforeSync : public testing::TestWithParam<RetryBeforeSyncCase>
{
};

TEST_P(RetryBeforeSync, NeverAtOrAfterTheNextSync)
{
    const RetryBeforeSyncCase c = GetParam();
    Engine e;
    e.load("1");
    e.tick(c.ticksBeforeFailure);
    e.channel.fail();
    EXPECT_EQ(e.ticksUntilRequest(100), c.requestAfter);
    EXPECT_EQ(e.engine.tickCount() == 0, c.isSync);
    EXPECT_EQ(e.channel.urls.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Sync, RetryBeforeSync,
                         testing::Values(RetryBeforeSyncCase{30, 30, false},
                                         RetryBeforeSyncCase{31, 30, true},
                                         RetryBeforeSyncCase{56, 5, true}));

TEST(Retry, WaitsForTheRequestInFlight)
{
    Engine e;
    e.load("5");
    e.channel.fail();
    e.tick(29);
    e.channel.inFlight = true;
    e.tick(5);
    EXPECT_TRUE(e.channel.urls.empty());
    e.channel.inFlight = false;
    EXPECT_EQ(e.ticksUntilRequest(1), 1);
}

TEST(Retry, ReplacedByANewUrlLadderKept)
{
    Engine e;
    e.load("5");
    e.channel.fail();
    e.tick(10);
    e.channel.inFlight = true;
    e.engine.replaceUrl("http://127.0.0.1:9/new");
    EXPECT_EQ(e.channel.stops, 1);
    EXPECT_EQ(e.listener.kinds.back(), RequestKind::Key);
    EXPECT_EQ(e.engine.nextRetryDueMs(), std::nullopt);
    EXPECT_EQ(e.engine.tickCount(), 10);
    e.channel.fail();
    EXPECT_EQ(e.engine.nextRetryDueMs(), e.clock.ms + 60 * 1000);
    e.forget();
    EXPECT_EQ(e.ticksUntilRequest(100), 60);
    EXPECT_EQ(e.channel.urls, std::vector<std::string>{"http://127.0.0.1:9/new"});
}

TEST(Retry, ReplacedByTheRegularSyncLadderKept)
{
    Engine e;
    e.load("5");
    e.tick(40);
    e.channel.fail();
    ASSERT_NE(e.engine.nextRetryDueMs(), std::nullopt);
    // Cut below the seconds counted: the sync is due at the next tick.
    e.engine.intervalChanged("0.5");
    e.channel.onNavigate = [&] {
        e.channel.onNavigate = nullptr;
        EXPECT_EQ(e.engine.nextRetryDueMs(), std::nullopt);
        e.engine.intervalChanged("5");
        e.channel.fail();
    };
    EXPECT_EQ(e.ticksUntilRequest(10), 1);
    EXPECT_EQ(e.engine.tickCount(), 0);
    // The sync's own failure: one minute, counted from a fresh 5-minute count.
    EXPECT_EQ(e.engine.nextRetryDueMs(), e.clock.ms + 60 * 1000);
}

TEST(Sync, TickDuringTheSyncIsSkipped)
{
    Engine e;
    e.load("0.5");
    e.tick(30);
    int nested = 0;
    e.channel.onNavigate = [&] {
        // The platform runs its events inside the sync; a tick among them does nothing.
        e.channel.onNavigate = nullptr;
        e.engine.tick();
        nested = e.listener.syncs;
    };
    e.tick();
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(e.channel.urls.size(), 1u);
    EXPECT_EQ(e.listener.syncs, 1);
    EXPECT_EQ(e.engine.tickCount(), 0);
}

struct GapCase
{
    std::int64_t gapMs;
    bool syncs;
};

class WakeGap : public testing::TestWithParam<GapCase>
{
};

TEST_P(WakeGap, SyncsAtTheFirstTickAfterSleep)
{
    const GapCase c = GetParam();
    Engine e;
    e.load("5");
    e.tick(10);
    e.channel.fail(); // a retry is pending; a wake-up sync replaces it
    e.clock.ms += c.gapMs - UpdateEngine::TickMs;
    e.tick();
    EXPECT_EQ(e.channel.urls.size(), c.syncs ? 1u : 0u);
    EXPECT_EQ(e.engine.tickCount(), c.syncs ? 0 : 11);
    if (!c.syncs)
        return;
    EXPECT_EQ(e.listener.caption, SyncCountdown::syncCaption());
    EXPECT_EQ(e.engine.nextRetryDueMs(), std::nullopt);
    EXPECT_EQ(e.ticksUntilRequest(400), 301);
}

INSTANTIATE_TEST_SUITE_P(Gaps, WakeGap,
                         testing::Values(GapCase{29000, false}, GapCase{30000, true},
                                         GapCase{2 * 3600 * 1000, true}));

// The network's return and a wake from sleep both bring the next sync forward.
class SyncSoon : public testing::TestWithParam<void (UpdateEngine::*)()>
{
};

TEST_P(SyncSoon, SyncsAtTheNextTickOnceWhenTheIntervalIsUsable)
{
    Engine e;
    e.load("5");
    e.tick(100);
    e.engine.intervalChanged("x");
    (e.engine.*GetParam())();
    e.tick(3);
    EXPECT_TRUE(e.channel.urls.empty());
    e.engine.intervalChanged("5");
    EXPECT_EQ(e.ticksUntilRequest(1), 1);
    EXPECT_EQ(e.engine.tickCount(), 0);
    EXPECT_EQ(e.ticksUntilRequest(400), 301);
}

INSTANTIATE_TEST_SUITE_P(Events, SyncSoon,
                         testing::Values(&UpdateEngine::networkBack, &UpdateEngine::systemResumed));

// Whether the wake timer counts suspend.
class WakeUps : public testing::TestWithParam<bool>
{
};

TEST_P(WakeUps, OnlyWhenSomethingIsDue)
{
    Engine e;
    e.timer.suspendCounted = GetParam();
    e.load("5");
    ASSERT_TRUE(e.engine.windowHidden());
    EXPECT_FALSE(e.engine.windowHidden());
    int wakeUps = 0;
    while (e.channel.urls.empty() && wakeUps < 20) {
        ASSERT_EQ(e.timer.dueMs, e.engine.plannedWakeMs());
        e.wake();
        ++wakeUps;
    }
    // 301 ticks to the sync; a timer that stands still during suspend wakes
    // after 60 ticks at most.
    EXPECT_EQ(wakeUps, GetParam() ? 1 : 6);
    EXPECT_EQ(e.channel.times.back() - 1000000, 301 * 1000);
    // A failure brings the wake-up forward to the retry.
    e.channel.fail();
    EXPECT_EQ(*e.timer.dueMs, e.clock.ms + 30 * 1000);
    ASSERT_TRUE(e.engine.windowShown());
    EXPECT_EQ(e.timer.dueMs, std::nullopt);
    EXPECT_EQ(e.engine.plannedWakeMs(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Timers, WakeUps, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &info) {
                             return info.param ? "CountsSuspend" : "StandsStill";
                         });

struct ResumeCase
{
    const char *name;
    std::int64_t resumeAfterDueMs; // when the machine resumes, after the sync fell due
    std::int64_t tickCount;        // the count after the wake-up at resume
    const char *caption;
};

class Resume : public testing::TestWithParam<ResumeCase>
{
};

// Hidden with a 5-minute interval on a timer that counts suspend, the machine
// sleeps past the due sync. The timer is overdue at resume and fires at once;
// that one wake-up syncs. Late by the wake gap or more, the engine takes it as
// a sleep: the first tick after it syncs and the count starts over. Less late,
// the ticks slept through run on their grid, the sync among them.
TEST_P(Resume, TheWakeUpAtResumeSyncs)
{
    const ResumeCase c = GetParam();
    Engine e;
    e.timer.suspendCounted = true;
    e.load("5");
    e.engine.windowHidden();
    ASSERT_EQ(e.timer.dueMs, e.clock.ms + 301 * 1000);
    const std::int64_t resume = *e.timer.dueMs + c.resumeAfterDueMs;
    e.clock.ms = resume;
    e.engine.wakeUp();
    ASSERT_EQ(e.channel.times.size(), 1u);
    EXPECT_LE(e.channel.times[0] - resume, 2000);
    EXPECT_EQ(e.listener.kinds.back(), RequestKind::Sync);
    EXPECT_EQ(e.listener.syncs, 1);
    EXPECT_EQ(e.engine.tickCount(), c.tickCount);
    EXPECT_EQ(e.listener.caption, c.caption);
    // Next: the following sync, a whole interval after the one just made.
    EXPECT_EQ(e.timer.dueMs, resume + (301 - c.tickCount) * 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Sleeps, Resume,
    testing::Values(ResumeCase{"two hours late", 2 * 3600 * 1000, 0, "KORLA DNS Conector SYNC"},
                    ResumeCase{"at the wake gap", UpdateEngine::WakeGapMs, 0,
                               "KORLA DNS Conector SYNC"},
                    ResumeCase{"just under the wake gap", UpdateEngine::WakeGapMs - 1000, 29,
                               "Count-Down: 271Sec."},
                    ResumeCase{"on time", 0, 0, "KORLA DNS Conector SYNC"}),
    paramName<ResumeCase>);

TEST(Sleeping, SleepOfTheMachineIsNoticedAtTheFirstWakeUp)
{
    Engine e;
    e.load("5");
    e.engine.windowHidden();
    // Timers stand still while the machine sleeps: the wake-up comes two hours late.
    e.clock.ms = *e.engine.plannedWakeMs() + 2 * 3600 * 1000;
    e.engine.wakeUp();
    EXPECT_EQ(e.channel.times, std::vector<std::int64_t>{e.clock.ms});
    EXPECT_EQ(e.engine.tickCount(), 0);
}

TEST(Sleeping, OutcomeOfARequestASleptThroughSyncReplacedIsIgnored)
{
    Engine e;
    e.load("0.5");
    e.channel.inFlight = true;
    e.engine.windowHidden();
    // The sync was due 31 s after start; the answer comes at 32 s, before the wake-up.
    e.clock.ms += 32000;
    e.channel.fail();
    EXPECT_EQ(e.channel.urls.size(), 1u);
    EXPECT_EQ(e.listener.outcomes, 0);
    EXPECT_EQ(e.listener.health, UpdateHealth::Good);
    EXPECT_EQ(e.engine.nextRetryDueMs(), std::nullopt);
}

TEST(Sleeping, ShownAgainTheNextTickKeepsTheGrid)
{
    Engine e;
    e.load("5");
    e.tick(3);
    e.engine.windowHidden();
    e.clock.ms += 2500;
    ASSERT_TRUE(e.engine.windowShown());
    EXPECT_EQ(e.engine.tickCount(), 5);
    EXPECT_EQ(e.listener.caption, "Count-Down: 295Sec.");
    EXPECT_EQ(e.engine.msUntilNextTick(), 500);
    EXPECT_FALSE(e.engine.windowShown());
}

struct AgreeCase
{
    unsigned seed;
    const char *interval;
    bool countsSuspend = false; // the sleeping engine's wake timer
};

class SleepingAndTicking : public testing::TestWithParam<AgreeCase>
{
};

// An engine that sleeps while hidden beside one that ticks every second, on one
// driven clock: both send the same requests at the same moments and show the
// same countdown whenever the sleeping one is looked at.
TEST_P(SleepingAndTicking, Agree)
{
    const AgreeCase c = GetParam();
    std::mt19937 random(c.seed);
    auto dice = [&](unsigned n) { return unsigned(random() % n); };
    Engine ticking, sleeping;
    sleeping.timer.suspendCounted = c.countsSuspend;
    for (Engine *e : {&ticking, &sleeping}) {
        e->engine.setUpdateUrl(Url);
        e->engine.intervalChanged(c.interval);
        e->engine.start();
    }
    sleeping.engine.windowHidden();
    const std::vector<std::string> intervals = {"0.05", "0.1", "1",   "2", "1.5",
                                                "5",    "",    "abc", "0", "-1"};
    int checks = 0;
    for (int second = 0; second < 6 * 3600; ++second) {
        ticking.tick();
        sleeping.clock.ms += UpdateEngine::TickMs;
        if (sleeping.engine.asleep()) {
            if (sleeping.clock.ms >= *sleeping.engine.plannedWakeMs())
                sleeping.engine.wakeUp();
        } else {
            sleeping.engine.tick();
        }
        const unsigned roll = dice(1000);
        if (roll < 40 && ticking.channel.inFlight) {
            ASSERT_TRUE(sleeping.channel.inFlight);
            const bool ok = dice(3) != 0;
            ok ? ticking.channel.succeed() : ticking.channel.fail();
            ok ? sleeping.channel.succeed() : sleeping.channel.fail();
        } else if (roll < 43) {
            const std::string &text = intervals[dice(unsigned(intervals.size()))];
            ticking.engine.intervalChanged(text);
            sleeping.engine.intervalChanged(text);
        } else if (roll < 44) {
            ticking.engine.networkBack();
            sleeping.engine.networkBack();
        } else if (roll < 47) {
            if (sleeping.engine.windowShown()) {
                ASSERT_EQ(sleeping.engine.tickCount(), ticking.engine.tickCount());
                ASSERT_EQ(sleeping.listener.caption, ticking.listener.caption);
                ++checks;
            } else {
                sleeping.engine.windowHidden();
            }
        }
        ASSERT_EQ(sleeping.channel.times, ticking.channel.times) << "second " << second;
    }
    EXPECT_GT(checks, 10);
    EXPECT_GT(ticking.channel.times.size(), 20u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, SleepingAndTicking,
                         testing::Values(AgreeCase{1, "0.05"}, AgreeCase{2, "1"}, AgreeCase{3, "5"},
                                         AgreeCase{4, "1.5"}, AgreeCase{5, "5", true},
                                         AgreeCase{6, "0.05", true}));

// Whether the wake timer counts suspend.
class AMonth : public testing::TestWithParam<bool>
{
};

// A month asleep, with interval edits (usable or not), sleeps of the machine,
// failures and recoveries: no request is ever more than one interval late while
// the interval is usable, and no retry goes out while a request is in flight.
TEST_P(AMonth, InTheTray)
{
    std::mt19937 random(30);
    auto dice = [&](unsigned n) { return unsigned(random() % n); };
    Engine e;
    e.timer.suspendCounted = GetParam();
    e.engine.setUpdateUrl(Url);
    e.engine.intervalChanged("5");
    e.engine.start();
    e.engine.windowHidden();
    const std::vector<std::string> intervals = {"1",   "2", "5", "10", "60",
                                                "0,5", "",  "x", "0",  "1e308"};
    std::string interval = "5";
    std::int64_t timerDue = *e.engine.plannedWakeMs();
    std::int64_t lastRequest = e.channel.times.back();
    std::int64_t usableSince = e.clock.ms;
    std::int64_t wakeUps = 0;
    int sleeps = 0;
    const std::int64_t end = e.clock.ms + 30LL * 24 * 3600 * 1000;
    while (e.clock.ms < end) {
        const std::int64_t eventAt = e.clock.ms + 1000 * std::int64_t(1 + dice(900));
        if (timerDue <= eventAt) {
            // An overdue timer that counts suspend fires at resume.
            e.clock.ms = std::max(e.clock.ms, timerDue);
            e.engine.wakeUp();
            ++wakeUps;
        } else {
            e.clock.ms = eventAt;
            const unsigned roll = dice(100);
            if (roll < 50 && e.channel.inFlight) {
                dice(3) ? e.channel.succeed() : e.channel.fail();
            } else if (roll < 60) {
                interval = intervals[dice(unsigned(intervals.size()))];
                e.engine.intervalChanged(interval);
                usableSince = e.clock.ms;
            } else if (roll < 62) {
                // The machine sleeps up to a day; a timer that stands still
                // meanwhile comes that much later.
                const std::int64_t slept = 1000 * std::int64_t(31 + dice(86400));
                e.clock.ms += slept;
                if (!GetParam())
                    timerDue += slept;
                ++sleeps;
                usableSince = e.clock.ms;
            }
        }
        if (e.channel.times.back() != lastRequest) {
            lastRequest = e.channel.times.back();
            usableSince = e.clock.ms;
        }
        const std::optional<std::int64_t> target =
            SyncInterval::targetSeconds(interval, NumberFormat());
        if (target) {
            ASSERT_LE(e.clock.ms - std::max(lastRequest, usableSince), (*target + 1) * 1000)
                << "no request for " << (e.clock.ms - lastRequest) / 1000 << " s";
        }
        ASSERT_GE(e.engine.tickCount(), 0);
        timerDue = *e.engine.plannedWakeMs();
        ASSERT_EQ(e.timer.dueMs, timerDue);
    }
    // Every request is followed by its kind; a retry never overlaps another request.
    ASSERT_EQ(e.listener.kinds.size(), e.channel.busyAtNavigate.size());
    int retries = 0;
    for (size_t i = 0; i < e.listener.kinds.size(); ++i) {
        if (e.listener.kinds[i] != RequestKind::Retry)
            continue;
        ++retries;
        EXPECT_FALSE(e.channel.busyAtNavigate[i]) << "retry " << i << " while busy";
    }
    EXPECT_GT(retries, 100);
    EXPECT_GT(sleeps, 10);
    // Asleep, the engine wakes about once a minute at most, never every second.
    EXPECT_LT(wakeUps, 30 * 24 * 60 * 2);
    EXPECT_GT(e.channel.times.size(), 1000u);
    // On a timer that counts suspend, a wake-up sends a request but for the
    // hourly bound of a long sleep.
    if (GetParam()) {
        EXPECT_LE(wakeUps, std::int64_t(e.channel.times.size()) + 30 * 24);
    }
}

INSTANTIATE_TEST_SUITE_P(Timers, AMonth, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &info) {
                             return info.param ? "CountsSuspend" : "StandsStill";
                         });

} // namespace
