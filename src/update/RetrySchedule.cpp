#include "update/RetrySchedule.h"

#include "update/UpdateLog.h"

qint64 RetrySchedule::delayAfterFailures(int failuresInARow)
{
    const int step = qBound(1, failuresInARow, DelayCount) - 1;
    return RetryDelaysMs[step];
}

void RetrySchedule::requestFailed(qint64 nowMs, std::optional<qint64> nextSyncMs)
{
    ++m_failures;
    const qint64 delayMs = delayAfterFailures(m_failures);
    const qint64 dueMs = nowMs + delayMs;
    if (nextSyncMs && dueMs >= *nextSyncMs) {
        m_dueMs.reset();
        qCInfo(lcUpdate) << "no retry before the next sync";
        return;
    }
    m_dueMs = dueMs;
    qCInfo(lcUpdate) << "retry in" << delayMs / 1000 << "s";
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

bool RetrySchedule::isDue(qint64 nowMs) const
{
    return m_dueMs && nowMs >= *m_dueMs;
}
