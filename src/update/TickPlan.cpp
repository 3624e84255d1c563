#include "update/TickPlan.h"

#include <algorithm>

std::int64_t TickPlan::ticksDue(std::int64_t lastTickMs, std::int64_t nowMs, std::int64_t tickMs)
{
    if (tickMs <= 0 || nowMs <= lastTickMs)
        return 0;
    return (nowMs - lastTickMs) / tickMs;
}

std::int64_t TickPlan::firstTickFrom(std::int64_t lastTickMs, std::int64_t atMs,
                                     std::int64_t tickMs)
{
    if (tickMs <= 0)
        return atMs;
    const std::int64_t ticks = atMs <= lastTickMs ? 1 : (atMs - lastTickMs + tickMs - 1) / tickMs;
    return lastTickMs + std::max<std::int64_t>(ticks, 1) * tickMs;
}

std::int64_t TickPlan::nextWakeMs(std::int64_t lastTickMs, std::int64_t tickMs,
                                  std::optional<std::int64_t> ticksUntilSync,
                                  std::optional<std::int64_t> retryDueMs, bool catchUpDue,
                                  std::int64_t maxTicksAsleep)
{
    // A paused count makes no catch-up sync: that waits for a usable interval,
    // whose edit plans again.
    std::int64_t ticks =
        catchUpDue && ticksUntilSync ? 1 : std::max<std::int64_t>(maxTicksAsleep, 1);
    if (ticksUntilSync)
        ticks = std::min(ticks, std::max<std::int64_t>(*ticksUntilSync, 1));
    std::int64_t wake = lastTickMs + ticks * tickMs;
    if (retryDueMs)
        wake = std::min(wake, firstTickFrom(lastTickMs, *retryDueMs, tickMs));
    return wake;
}
