#ifndef TAVRIN_UPDATE_RETRYSCHEDULE_H
#define TAVRIN_UPDATE_RETRYSCHEDULE_H

#include <cstdint>
#include <optional>

// When to try again after a failed update request.
//
// The n-th failure in a row schedules a retry RetryDelays[n-1] later: 30 s,
// then 1, 2, 4 and 8 minutes, and 8 minutes from then on. Failures count in a
// row whatever request they came from (a retry, a regular sync, the key's OK),
// so a service that stays broken is asked at most every 8 minutes; the first
// success starts the ladder over.
//
// A retry that would fall at or after the next regular sync is not scheduled:
// that sync asks anyway. A regular sync or OK drops a pending retry (the
// request it starts takes its place) but keeps the ladder where it is.
//
// Times are milliseconds on one Clock.
class RetrySchedule
{
public:
    static constexpr int DelayCount = 5;
    static constexpr std::int64_t RetryDelaysMs[DelayCount] = {30 * 1000, 60 * 1000, 2 * 60 * 1000,
                                                               4 * 60 * 1000, 8 * 60 * 1000};

    // The delay after the given number of failures in a row (1 for the first).
    static std::int64_t delayAfterFailures(int failuresInARow);

    // A request failed at nowMs; nextSyncMs is when the next regular sync is
    // due, nullopt when none is coming.
    void requestFailed(std::int64_t nowMs, std::optional<std::int64_t> nextSyncMs);
    // A request succeeded: no retry, and the next failure starts at 30 s again.
    void requestSucceeded();
    // A request went out (a regular sync, OK, or the due retry itself): no retry
    // is pending any more; the next outcome decides whether one follows.
    void requestSent();

    // True when a retry is pending and its time has come.
    bool isDue(std::int64_t nowMs) const;

    // When the pending retry is due; nullopt when none is pending.
    std::optional<std::int64_t> nextRetryDueMs() const { return m_dueMs; }
    int failuresInARow() const { return m_failures; }

private:
    std::optional<std::int64_t> m_dueMs;
    int m_failures = 0;
};

#endif
