#include "update/TickPlan.h"

#include <algorithm>

qint64 TickPlan::ticksDue(qint64 lastTickMs, qint64 nowMs, qint64 tickMs)
{
    if (tickMs <= 0 || nowMs <= lastTickMs)
        return 0;
    return (nowMs - lastTickMs) / tickMs;
}

qint64 TickPlan::firstTickFrom(qint64 lastTickMs, qint64 atMs, qint64 tickMs)
{
    if (tickMs <= 0)
        return atMs;
    const qint64 ticks = atMs <= lastTickMs ? 1 : (atMs - lastTickMs + tickMs - 1) / tickMs;
    return lastTickMs + std::max<qint64>(ticks, 1) * tickMs;
}

qint64 TickPlan::nextWakeMs(qint64 lastTickMs, qint64 tickMs, std::optional<qint64> ticksUntilSync,
                            std::optional<qint64> retryDueMs, bool catchUpDue)
{
    qint64 ticks = catchUpDue ? 1 : MaxTicksAsleep;
    if (ticksUntilSync)
        ticks = std::min(ticks, std::max<qint64>(*ticksUntilSync, 1));
    qint64 wake = lastTickMs + ticks * tickMs;
    if (retryDueMs)
        wake = std::min(wake, firstTickFrom(lastTickMs, *retryDueMs, tickMs));
    return wake;
}
