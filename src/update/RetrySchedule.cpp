#include "update/RetrySchedule.h"

#include "base/CoreLog.h"

#include <algorithm>
#include <string>

std::int64_t RetrySchedule::delayAfterFailures(int failuresInARow)
{
    const int step = std::clamp(failuresInARow, 1, DelayCount) - 1;
    return RetryDelaysMs[step];
}

void RetrySchedule::requestFailed(std::int64_t nowMs, std::optional<std::int64_t> nextSyncMs)
{
    ++m_failures;
    const std::int64_t delayMs = delayAfterFailures(m_failures);
    const std::int64_t dueMs = nowMs + delayMs;
    if (nextSyncMs && dueMs >= *nextSyncMs) {
        m_dueMs.reset();
        CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Info,
                       "no retry before the next sync");
        return;
    }
    m_dueMs = dueMs;
    CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Info,
                   "retry in " + std::to_string(delayMs / 1000) + " s");
}

void RetrySchedule::requestSucceeded()
{
    m_dueMs.reset();
    m_failures = 0;
}

void RetrySchedule::requestSent()
{
    m_dueMs.reset();
}

bool RetrySchedule::isDue(std::int64_t nowMs) const
{
    return m_dueMs && nowMs >= *m_dueMs;
}
