#include "update/SyncCountdown.h"

#include "base/CoreLog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using Step = SyncCountdown::Step;

namespace {

const NumberFormat German{",", "0"};
const NumberFormat C;

struct CaptionCase
{
    std::int64_t secondsLeft;
    std::string caption;
};

class CountdownCaption : public testing::TestWithParam<CaptionCase>
{
};

// Plain digits whatever the locale: no group separators.
TEST_P(CountdownCaption, Text)
{
    EXPECT_EQ(SyncCountdown::countdownCaption(GetParam().secondsLeft), GetParam().caption);
    EXPECT_EQ(SyncCountdown::syncCaption(), "KORLA DNS Conector SYNC");
}

INSTANTIATE_TEST_SUITE_P(SyncCountdown, CountdownCaption,
                         testing::Values(CaptionCase{0, "Count-Down: 0Sec."},
                                         CaptionCase{35999, "Count-Down: 35999Sec."},
                                         CaptionCase{-3, "Count-Down: -3Sec."},
                                         CaptionCase{600000000000000,
                                                     "Count-Down: 600000000000000Sec."}));

struct CycleCase
{
    std::string text;
    NumberFormat format;
    std::int64_t target;
};

class CountdownCycle : public testing::TestWithParam<CycleCase>
{
};

// Two full cycles: captions T-1 … 0, SyncDue on tick T+1, and the second cycle
// after syncDone() exactly like the first.
TEST_P(CountdownCycle, TwoRounds)
{
    const CycleCase &c = GetParam();
    SyncCountdown countdown(c.format);
    EXPECT_EQ(countdown.caption(), "");
    EXPECT_EQ(countdown.tickCount(), 0);

    for (int round = 0; round < 2; ++round) {
        for (std::int64_t tick = 1; tick <= c.target; ++tick) {
            ASSERT_EQ(countdown.tick(c.text), Step::Counted)
                << "round " << round << " tick " << tick;
            ASSERT_EQ(countdown.caption(), SyncCountdown::countdownCaption(c.target - tick))
                << "round " << round << " tick " << tick;
        }
        EXPECT_EQ(countdown.caption(), "Count-Down: 0Sec.");
        EXPECT_EQ(countdown.tickCount(), c.target);
        EXPECT_EQ(countdown.tick(c.text), Step::SyncDue);
        EXPECT_EQ(countdown.caption(), "Count-Down: 0Sec.");
        EXPECT_EQ(countdown.tickCount(), c.target);

        countdown.syncDone();
        EXPECT_EQ(countdown.caption(), "KORLA DNS Conector SYNC");
        EXPECT_EQ(countdown.tickCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(SyncCountdown, CountdownCycle,
                         testing::Values(CycleCase{"5", German, 300}, CycleCase{"1,5", German, 90},
                                         CycleCase{"1.5", German, 90}, CycleCase{"1.5", C, 90},
                                         CycleCase{"0,01", German, 30}, CycleCase{"0.4", C, 30},
                                         CycleCase{"0.5", C, 30}, CycleCase{"0.6", C, 36},
                                         CycleCase{"1", C, 60}, CycleCase{"600", German, 36000}));

struct ChangeCase
{
    int ticksCounted;
    std::string newText;
    Step step;
    std::string caption;
};

class IntervalChangedMidCount : public testing::TestWithParam<ChangeCase>
{
};

TEST_P(IntervalChangedMidCount, TakesEffectAtOnce)
{
    const ChangeCase &c = GetParam();
    SyncCountdown countdown(C);
    for (int i = 0; i < c.ticksCounted; ++i)
        ASSERT_EQ(countdown.tick("5"), Step::Counted);

    EXPECT_EQ(countdown.tick(c.newText), c.step);
    EXPECT_EQ(countdown.caption(), c.caption);
}

INSTANTIATE_TEST_SUITE_P(
    SyncCountdown, IntervalChangedMidCount,
    testing::Values(ChangeCase{200, "1", Step::SyncDue, "Count-Down: 100Sec."},    // lowered below
                    ChangeCase{120, "2", Step::SyncDue, "Count-Down: 180Sec."},    // lowered to
                    ChangeCase{50, "1", Step::Counted, "Count-Down: 9Sec."},       // lowered above
                    ChangeCase{200, "10", Step::Counted, "Count-Down: 399Sec."})); // raised

class UnusableIntervalPauses : public testing::TestWithParam<std::string>
{
};

TEST_P(UnusableIntervalPauses, FreezesAndResumes)
{
    const std::string &text = GetParam();

    // From the start: nothing counts and no caption appears.
    SyncCountdown fresh(German);
    EXPECT_EQ(fresh.tick(text), Step::Paused);
    EXPECT_EQ(fresh.tickCount(), 0);
    EXPECT_EQ(fresh.caption(), "");

    // Mid-count: count and caption freeze, then carry on once the text is fixed.
    SyncCountdown countdown(German);
    for (int i = 0; i < 10; ++i)
        countdown.tick("5");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(countdown.tick(text), Step::Paused);
        EXPECT_EQ(countdown.tickCount(), 10);
        EXPECT_EQ(countdown.caption(), "Count-Down: 290Sec.");
    }
    EXPECT_EQ(countdown.tick("5"), Step::Counted);
    EXPECT_EQ(countdown.caption(), "Count-Down: 289Sec.");

    // At the moment a sync is due, an unusable text holds it back.
    SyncCountdown due(German);
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(due.tick("0,01"), Step::Counted);
    EXPECT_EQ(due.tick(text), Step::Paused);
    EXPECT_EQ(due.tick("0,01"), Step::SyncDue);
}

INSTANTIATE_TEST_SUITE_P(SyncCountdown, UnusableIntervalPauses,
                         testing::Values("", "abc", "0", "-1", "1e308", "inf"));

struct LongRunCase
{
    std::string text;
    std::vector<std::int64_t> syncTicks;
    std::int64_t finalCount;
};

class CountdownLongRun : public testing::TestWithParam<LongRunCase>
{
};

TEST_P(CountdownLongRun, NineDays)
{
    const LongRunCase &c = GetParam();
    const std::int64_t nineDays = 9 * 24 * 60 * 60;
    SyncCountdown countdown(C);
    std::vector<std::int64_t> seen;
    for (std::int64_t tick = 1; tick <= nineDays; ++tick) {
        if (countdown.tick(c.text) == Step::SyncDue) {
            seen.push_back(tick);
            countdown.syncDone();
        }
    }
    EXPECT_EQ(seen, c.syncTicks);
    EXPECT_EQ(countdown.tickCount(), c.finalCount);
    const std::int64_t target = std::stoll(c.text) * 60;
    EXPECT_EQ(countdown.caption(), SyncCountdown::countdownCaption(target - c.finalCount));
}

// 1000 minutes = 60000 s, so every 60001st tick is due.
std::vector<std::int64_t> every60001()
{
    std::vector<std::int64_t> ticks;
    for (std::int64_t k = 1; k <= 12; ++k)
        ticks.push_back(k * 60001);
    return ticks;
}

INSTANTIATE_TEST_SUITE_P(SyncCountdown, CountdownLongRun,
                         testing::Values(LongRunCase{"1000", every60001(), 777600 - 12 * 60001},
                                         LongRunCase{"20000", {}, 777600}));

struct PredictionCase
{
    int ticksCounted;
    std::string text;
    std::int64_t ticksUntilSync;
};

class TicksUntilSync : public testing::TestWithParam<PredictionCase>
{
};

// The number of ticks it predicts is the number it takes, whatever was counted.
TEST_P(TicksUntilSync, MatchesTicks)
{
    const PredictionCase &c = GetParam();
    SyncCountdown countdown(C);
    for (int i = 0; i < c.ticksCounted; ++i)
        countdown.tick("5");
    EXPECT_EQ(countdown.ticksUntilSync(c.text), std::optional<std::int64_t>(c.ticksUntilSync));
    EXPECT_EQ(countdown.ticksUntilSync("abc"), std::nullopt);
    EXPECT_EQ(countdown.ticksPerCycle("abc"), std::nullopt);

    std::int64_t ticks = 1;
    while (countdown.tick(c.text) != Step::SyncDue)
        ++ticks;
    EXPECT_EQ(ticks, c.ticksUntilSync);
    countdown.syncDone();
    EXPECT_EQ(countdown.ticksUntilSync(c.text), countdown.ticksPerCycle(c.text));
}

INSTANTIATE_TEST_SUITE_P(SyncCountdown, TicksUntilSync,
                         testing::Values(PredictionCase{0, "0.05", 31}, // fresh count, 30 s
                                         PredictionCase{1, "0.05", 30}, // mid count
                                         PredictionCase{30, "0.05", 1}, // count run out
                                         PredictionCase{50, "0.05", 1}, // lowered below count
                                         PredictionCase{100, "5", 201}));

std::vector<std::string> infoLines;

void recordInfo(CoreLog::Area area, CoreLog::Level level, const std::string &message)
{
    if (area == CoreLog::Area::Update && level == CoreLog::Level::Info)
        infoLines.push_back(message);
}

// A raised interval is logged when it comes into use, not at every tick.
TEST(SyncCountdownLog, RaisedIntervalLoggedOnce)
{
    infoLines.clear();
    CoreLog::setSink(recordInfo);
    SyncCountdown countdown(German);
    const std::vector<std::pair<std::string, std::size_t>> steps = {
        {"5", 0}, {"0,01", 1}, {"0,01", 1}, {"", 1}, {"0,01", 1}, {"0,2", 1}, {"1", 1}, {"0,2", 2}};
    for (const auto &[text, lines] : steps) {
        countdown.tick(text);
        EXPECT_EQ(infoLines.size(), lines) << '"' << text << '"';
    }
    CoreLog::setSink(nullptr);
    ASSERT_FALSE(infoLines.empty());
    EXPECT_EQ(infoLines.front(), "interval \"0,01\" is under 30 s; counted as 30 s");
}

} // namespace
