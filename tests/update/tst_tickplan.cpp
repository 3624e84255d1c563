#include "update/TickPlan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace {

struct DueCase
{
    std::int64_t last;
    std::int64_t now;
    std::int64_t expected;
};

class TicksDue : public testing::TestWithParam<DueCase>
{
};

TEST_P(TicksDue, OnTheGrid)
{
    EXPECT_EQ(TickPlan::ticksDue(GetParam().last, GetParam().now, 1000), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(TickPlan, TicksDue,
                         testing::Values(DueCase{5000, 5000, 0},   // same instant
                                         DueCase{5000, 5999, 0},   // just before the next
                                         DueCase{5000, 6000, 1},   // on the next
                                         DueCase{5000, 65500, 60}, // a minute
                                         DueCase{5000, 4000, 0})); // clock behind

struct WakeCase
{
    std::optional<std::int64_t> ticksUntilSync;
    std::optional<std::int64_t> retryDue;
    bool catchUp;
    std::int64_t expected;
    std::int64_t maxTicks = TickPlan::MaxTicksAsleep;
};

class NextWake : public testing::TestWithParam<WakeCase>
{
};

TEST_P(NextWake, FromLastTickAt10s)
{
    const WakeCase &c = GetParam();
    EXPECT_EQ(
        TickPlan::nextWakeMs(10000, 1000, c.ticksUntilSync, c.retryDue, c.catchUp, c.maxTicks),
        c.expected);
}

const std::optional<std::int64_t> none;

INSTANTIATE_TEST_SUITE_P(
    TickPlan, NextWake,
    testing::Values(WakeCase{5, none, false, 15000},    // sync soon
                    WakeCase{301, none, false, 70000},  // sync far: wake within a minute
                    WakeCase{none, none, false, 70000}, // paused count: wake within a minute
                    WakeCase{301, 12500, false, 13000}, // retry between ticks waits for the next
                    WakeCase{301, 13000, false, 13000}, // retry on a tick
                    WakeCase{301, 2000, false, 11000},  // overdue retry: next tick
                    WakeCase{3, 40000, false, 13000},   // sync before retry
                    WakeCase{301, none, true, 11000},   // catch-up
                    WakeCase{none, none, true, 70000},  // catch-up waits for a usable interval
                    WakeCase{0, none, false, 11000},    // sync due now
                    // A timer that counts suspend: wake when the work is due.
                    WakeCase{301, none, false, 311000, 3600},      // at the sync
                    WakeCase{301, 130000, false, 130000, 3600},    // at the retry
                    WakeCase{none, none, false, 3610000, 3600},    // paused count: at the bound
                    WakeCase{1000000, none, false, 3610000, 3600}, // sync beyond the bound
                    WakeCase{301, none, true, 11000, 3600}));      // catch-up

} // namespace
