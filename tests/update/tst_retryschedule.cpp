#include "update/RetrySchedule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace {

constexpr std::int64_t Second = 1000;
constexpr std::int64_t Minute = 60 * Second;
constexpr std::int64_t Start = 5000000; // any point on the clock

// Each retry fails in turn: 30 s, 1, 2, 4, 8 min, then every 8 min, each
// counted from the failure before it.
TEST(RetrySchedule, Ladder)
{
    const std::vector<std::int64_t> delays = {30 * Second, 1 * Minute, 2 * Minute, 4 * Minute,
                                              8 * Minute,  8 * Minute, 8 * Minute};
    RetrySchedule schedule;
    std::int64_t now = Start;
    schedule.requestFailed(now, std::nullopt);
    for (std::size_t i = 0; i < delays.size(); ++i) {
        EXPECT_EQ(schedule.nextRetryDueMs(), std::optional<std::int64_t>(now + delays[i]));
        now += delays[i];
        EXPECT_TRUE(schedule.isDue(now));
        schedule.requestSent();
        EXPECT_FALSE(schedule.isDue(now));
        EXPECT_EQ(schedule.nextRetryDueMs(), std::nullopt);
        schedule.requestFailed(now, std::nullopt);
        EXPECT_EQ(schedule.failuresInARow(), int(i) + 2);
    }
}

TEST(RetrySchedule, DueExactlyAtItsTime)
{
    RetrySchedule schedule;
    EXPECT_FALSE(schedule.isDue(Start));
    schedule.requestFailed(Start, std::nullopt);
    EXPECT_FALSE(schedule.isDue(Start));
    EXPECT_FALSE(schedule.isDue(Start + 30 * Second - 1));
    EXPECT_TRUE(schedule.isDue(Start + 30 * Second));
    EXPECT_TRUE(schedule.isDue(Start + 3 * Minute)); // a late tick still sends it
}

TEST(RetrySchedule, StopsAtFirstSuccess)
{
    RetrySchedule schedule;
    schedule.requestFailed(Start, std::nullopt);
    schedule.requestSent();
    schedule.requestFailed(Start + 30 * Second, std::nullopt);
    schedule.requestSucceeded();
    EXPECT_EQ(schedule.nextRetryDueMs(), std::nullopt);
    EXPECT_FALSE(schedule.isDue(Start + Minute * 60));
    EXPECT_EQ(schedule.failuresInARow(), 0);
    // The next failure starts over at 30 s.
    schedule.requestFailed(Start + 2 * Minute, std::nullopt);
    EXPECT_EQ(schedule.nextRetryDueMs(),
              std::optional<std::int64_t>(Start + 2 * Minute + 30 * Second));
}

struct NextSyncCase
{
    int earlierFailures;
    std::int64_t untilSync;
    bool scheduled;
};

class NeverAtOrAfterNextSync : public testing::TestWithParam<NextSyncCase>
{
};

TEST_P(NeverAtOrAfterNextSync, Rule)
{
    const NextSyncCase &c = GetParam();
    RetrySchedule schedule;
    for (int i = 0; i < c.earlierFailures; ++i)
        schedule.requestFailed(Start, std::nullopt);
    schedule.requestFailed(Start, Start + c.untilSync);
    EXPECT_EQ(schedule.nextRetryDueMs().has_value(), c.scheduled);
    if (c.scheduled) {
        EXPECT_LT(*schedule.nextRetryDueMs(), Start + c.untilSync);
    }
    // The ladder moves on either way: the sync's own failure is the next step.
    EXPECT_EQ(schedule.failuresInARow(), c.earlierFailures + 1);
}

INSTANTIATE_TEST_SUITE_P(
    RetrySchedule, NeverAtOrAfterNextSync,
    testing::Values(NextSyncCase{0, 31 * Second, true},   // 30 s before a sync in 31 s
                    NextSyncCase{0, 30 * Second, false},  // 30 s with the sync at the same time
                    NextSyncCase{0, 10 * Second, false},  // 30 s after a sync in 10 s
                    NextSyncCase{4, 10 * Minute, true},   // 8 min within a 10 min interval
                    NextSyncCase{4, 5 * Minute, false},   // 8 min past a 5 min interval
                    NextSyncCase{2, 1 * Minute, false})); // 2 min past a 1 min interval

TEST(RetrySchedule, SyncOrOkDropsPendingButKeepsLadder)
{
    RetrySchedule schedule;
    schedule.requestFailed(Start, std::nullopt);
    schedule.requestSent();
    schedule.requestFailed(Start + 30 * Second, std::nullopt); // 1 min pending
    schedule.requestSent();                                    // a sync or OK goes out instead
    EXPECT_EQ(schedule.nextRetryDueMs(), std::nullopt);
    EXPECT_FALSE(schedule.isDue(Start + Minute * 60));
    // That request failed too: 2 min, not 30 s again.
    const std::int64_t failedAt = Start + 40 * Second;
    schedule.requestFailed(failedAt, std::nullopt);
    EXPECT_EQ(schedule.nextRetryDueMs(), std::optional<std::int64_t>(failedAt + 2 * Minute));
}

} // namespace
