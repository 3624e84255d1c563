#ifndef TAVRIN_UPDATE_TICKPLAN_H
#define TAVRIN_UPDATE_TICKPLAN_H

#include <QtGlobal>

#include <optional>

// The once-a-second ticks lie on a grid that starts at the last tick. While the
// window is hidden nobody sees the countdown, so the program sleeps until the next
// tick at which something is due (a sync or a retry) and then runs the ticks it
// slept through, each at its own time on the grid.
class TickPlan
{
public:
    // At most this many ticks pass without a wake-up: a long sleep of the machine
    // is then noticed within a minute of its end, since timers stop during suspend.
    static constexpr qint64 MaxTicksAsleep = 60;

    // How many grid ticks fall in (lastTickMs, nowMs].
    static qint64 ticksDue(qint64 lastTickMs, qint64 nowMs, qint64 tickMs);

    // The first grid tick at or after atMs, and never before the next tick.
    static qint64 firstTickFrom(qint64 lastTickMs, qint64 atMs, qint64 tickMs);

    // When to wake next: at the tick of the next sync (ticksUntilSync ticks after
    // the last, nullopt while the count is paused), at the first tick at or after a
    // pending retry, at the next tick when a catch-up sync is due, and no later than
    // MaxTicksAsleep ticks after the last.
    static qint64 nextWakeMs(qint64 lastTickMs, qint64 tickMs, std::optional<qint64> ticksUntilSync,
                             std::optional<qint64> retryDueMs, bool catchUpDue);
};

#endif
