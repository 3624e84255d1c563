#ifndef TAVRIN_UPDATE_UPDATEENGINE_H
#define TAVRIN_UPDATE_UPDATEENGINE_H

#include "update/FailureNotice.h"
#include "update/NumberFormat.h"
#include "update/RequestOutcome.h"
#include "update/RetrySchedule.h"
#include "update/SyncCountdown.h"
#include "update/UpdateListener.h"
#include "update/UpdateStatus.h"

#include <cstdint>
#include <optional>
#include <string>

class Clock;
class RequestChannel;
class WakeTimer;

// Keeps the update record fresh: counts the once-a-second ticks down to the next
// sync, retries after failures, syncs at once after the machine slept or the
// network came back, and keeps one request in flight at most.
//
// While the window is shown the platform calls tick() every second. While it is
// hidden nobody sees the countdown, so the engine sleeps on the WakeTimer until
// the next tick at which something is due and then runs the ticks it slept
// through, each at its own time on the grid: what is sent, and when, is the
// same as if it had ticked all along.
class UpdateEngine
{
public:
    // A tick this much later than the one before, by the clock, means the
    // machine slept: the sync is made at that tick instead of after the interval.
    static constexpr std::int64_t WakeGapMs = 30 * 1000;
    // One tick, on the clock.
    static constexpr std::int64_t TickMs = 1000;

    // All parts must outlive the engine. format: how the interval box's numbers are written.
    UpdateEngine(const Clock &clock, WakeTimer &wakeTimer, RequestChannel &channel,
                 UpdateListener &listener, NumberFormat format = NumberFormat());
    UpdateEngine(const UpdateEngine &) = delete;
    UpdateEngine &operator=(const UpdateEngine &) = delete;

    // Readings of another clock cannot be compared with the last tick's.
    void setClock(const Clock &clock);

    // The URL requested (UTF-8; it holds the key, so it is never logged).
    void setUpdateUrl(const std::string &url);
    const std::string &updateUrl() const { return m_url; }
    // The interval box's text changed: ticks slept through run with the text they
    // saw, the new one counts from now.
    void intervalChanged(const std::string &text);
    const std::string &intervalText() const { return m_intervalText; }

    // The first request at start-up; from here on the status is reported.
    void start();
    // One tick of the per-second timer, at the clock's now.
    void tick();
    // A new URL was applied: the request in flight and a pending retry give way to it.
    void replaceUrl(const std::string &url);
    // The network came back: the next tick syncs.
    void networkBack();
    // The machine woke from sleep: the next tick syncs.
    void systemResumed();
    // The outcome of a request; one a sync slept through has replaced is ignored.
    void requestFinished(const RequestOutcome &outcome);

    // The window went to the tray: stop ticking, sleep until something is due.
    // False when it was hidden already.
    bool windowHidden();
    // The window is seen again: runs the ticks slept through. False when it was
    // not hidden; then nothing changed.
    bool windowShown();
    // The WakeTimer fired: runs the ticks slept through and plans the next wake-up.
    void wakeUp();
    // When the next per-second tick is due from now, on the grid of the last tick.
    std::int64_t msUntilNextTick() const;

    std::int64_t tickCount() const { return m_countdown.tickCount(); }
    const std::string &caption() const { return m_countdown.caption(); }
    UpdateHealth health() const { return m_health; }
    const UpdateStatus &status() const { return m_status; }
    bool asleep() const { return m_asleep; }
    // When the sleeping engine wakes next; nullopt while it ticks every second.
    std::optional<std::int64_t> plannedWakeMs() const;
    // How long until the next request goes out, a regular sync or a retry;
    // nullopt when none is planned.
    std::optional<std::int64_t> msUntilNextAttempt() const;
    // When the pending retry is due; nullopt when none is.
    std::optional<std::int64_t> nextRetryDueMs() const { return m_retry.nextRetryDueMs(); }

private:
    void runTick(std::int64_t tickMs, bool showCaption);
    void noteTickTime(std::int64_t nowMs);
    void sendDueRetry(std::int64_t nowMs);
    // Requests the URL; a pending retry is dropped, the outcome decides what follows.
    void send(RequestKind kind);
    void runDueTicks(std::int64_t nowMs);
    // Brings a sleeping engine's countdown up to now before an event changes it.
    void catchUp();
    // Logs why, then syncs at the next tick, waking a sleeping engine for it.
    void syncSoon(const char *why);
    void planWake();
    // When the next regular sync comes; nullopt while the count is paused.
    std::optional<std::int64_t> nextSyncMs(std::int64_t nowMs) const;
    UpdateStatus currentStatus() const;
    // Reports the status when it changed since the last report.
    void refreshStatus();
    // An attempt ended; the tray tells of a turn from working to failing and back.
    void attemptEnded(bool failed);

    const Clock *m_clock;
    WakeTimer &m_wakeTimer;
    RequestChannel &m_channel;
    UpdateListener &m_listener;
    SyncCountdown m_countdown;
    RetrySchedule m_retry;
    std::string m_url;
    std::string m_intervalText;
    UpdateHealth m_health = UpdateHealth::Good;
    UpdateStatus m_status;
    FailureNotice m_notice;
    // Why the URL cannot be sent (NoKey, UrlRefused); Working when it can.
    UpdateStatus::Reason m_urlProblem = UpdateStatus::Reason::NoKey;
    bool m_lastRequestFailed = false;
    RequestOutcome m_lastFailure;
    bool m_started = false;
    std::optional<std::int64_t> m_lastTickMs;
    // The machine woke or the network came back: the next tick syncs.
    bool m_catchUpDue = false;
    // A tick that arrives while a sync lets the platform's events run is skipped.
    bool m_inSync = false;
    bool m_asleep = false;
    std::int64_t m_plannedWakeMs = 0;
    // Requests sent, to tell an outcome that came too late.
    std::uint64_t m_requestsSent = 0;
};

#endif
