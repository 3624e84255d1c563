#ifndef TAVRIN_UPDATE_TICKPLAN_H
#define TAVRIN_UPDATE_TICKPLAN_H

#include <cstdint>
#include <optional>

// The once-a-second ticks lie on a grid that starts at the last tick. While the
// window is hidden nobody sees the countdown, so the program sleeps until the next
// tick at which something is due (a sync or a retry) and then runs the ticks it
// slept through, each at its own time on the grid.
class TickPlan
{
public:
    // With a wake timer that stands still during suspend, at most this many ticks
    // pass without a wake-up: a long sleep of the machine is then noticed within
    // a minute of its end.
    static constexpr std::int64_t MaxTicksAsleep = 60;
    // With a timer that counts suspend, an overdue wake-up comes right after the
    // machine resumes, so only due work sets the time. The bound keeps the ticks
    // run at one wake-up few, and the arithmetic finite for huge intervals.
    static constexpr std::int64_t MaxTicksAsleepCountingSuspend = 3600;

    // How many grid ticks fall in (lastTickMs, nowMs].
    static std::int64_t ticksDue(std::int64_t lastTickMs, std::int64_t nowMs, std::int64_t tickMs);

    // The first grid tick at or after atMs, and never before the next tick.
    static std::int64_t firstTickFrom(std::int64_t lastTickMs, std::int64_t atMs,
                                      std::int64_t tickMs);

    // When to wake next: at the tick of the next sync (ticksUntilSync ticks after
    // the last, nullopt while the count is paused), at the first tick at or after a
    // pending retry, at the next tick when a catch-up sync is due (and the count
    // runs), and no later than
    // maxTicksAsleep ticks after the last.
    static std::int64_t nextWakeMs(std::int64_t lastTickMs, std::int64_t tickMs,
                                   std::optional<std::int64_t> ticksUntilSync,
                                   std::optional<std::int64_t> retryDueMs, bool catchUpDue,
                                   std::int64_t maxTicksAsleep = MaxTicksAsleep);
};

#endif
