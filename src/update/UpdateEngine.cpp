#include "update/UpdateEngine.h"

#include "base/Clock.h"
#include "base/CoreLog.h"
#include "update/RequestChannel.h"
#include "update/TickPlan.h"
#include "update/UpdateUrl.h"
#include "update/WakeTimer.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {
void log(CoreLog::Level level, const std::string &message)
{
    CoreLog::write(CoreLog::Area::Update, level, message);
}

// Out of the per-second path: building the line costs more than the tick itself.
void logSlept(std::int64_t gapMs)
{
    log(CoreLog::Level::Info,
        "no tick for " + std::to_string(gapMs / 1000) + " s (the machine slept); syncing now");
}
// The problem that keeps url from being sent; Working when there is none.
UpdateStatus::Reason urlProblem(const std::string &url)
{
    if (url.empty())
        return UpdateStatus::Reason::NoKey;
    if (!UpdateUrl::toRequestUrl(url))
        return UpdateStatus::Reason::UrlRefused;
    return UpdateStatus::Reason::Working;
}

} // namespace

UpdateEngine::UpdateEngine(const Clock &clock, WakeTimer &wakeTimer, RequestChannel &channel,
                           UpdateListener &listener, NumberFormat format)
    : m_clock(&clock), m_wakeTimer(wakeTimer), m_channel(channel), m_listener(listener),
      m_countdown(std::move(format))
{
    m_channel.setFinishedHandler(
        [this](const RequestOutcome &outcome) { requestFinished(outcome); });
}

void UpdateEngine::setClock(const Clock &clock)
{
    m_clock = &clock;
    m_lastTickMs.reset();
}

void UpdateEngine::setUpdateUrl(const std::string &url)
{
    m_url = url;
    m_urlProblem = urlProblem(url);
    refreshStatus();
}

void UpdateEngine::intervalChanged(const std::string &text)
{
    catchUp();
    m_intervalText = text;
    refreshStatus();
    planWake();
}

void UpdateEngine::start()
{
    m_started = true;
    m_status = currentStatus();
    m_health = m_status.health();
    m_listener.statusShown(m_status);
    m_channel.navigate(m_url);
    m_listener.requestSent(RequestKind::Start);
    // No outcome comes for a URL the channel refuses.
    if (m_urlProblem != UpdateStatus::Reason::Working)
        attemptEnded(true);
}

void UpdateEngine::tick()
{
    runTick(m_clock->nowMs(), true);
}

void UpdateEngine::runTick(std::int64_t tickMs, bool showCaption)
{
    noteTickTime(tickMs);
    if (m_inSync)
        return;
    switch (m_countdown.tick(m_intervalText)) {
    case SyncCountdown::Step::Paused:
        if (m_retry.nextRetryDueMs())
            sendDueRetry(tickMs);
        return;
    case SyncCountdown::Step::Counted:
        if (!m_catchUpDue) {
            if (showCaption)
                m_listener.captionChanged(m_countdown.caption());
            // Most ticks have no retry pending; the check stays out of a call.
            if (m_retry.nextRetryDueMs())
                sendDueRetry(tickMs);
            return;
        }
        // After sleep or a network loss the sync is made now; the count restarts from it.
        break;
    case SyncCountdown::Step::SyncDue:
        break;
    }

    m_catchUpDue = false;
    m_inSync = true;
    send(RequestKind::Sync);
    if (m_channel.busy())
        log(CoreLog::Level::Debug, "sync request still in progress");
    m_countdown.syncDone();
    m_listener.synced(m_countdown.caption(), m_health);
    m_inSync = false;
}

void UpdateEngine::noteTickTime(std::int64_t nowMs)
{
    if (m_lastTickMs && nowMs - *m_lastTickMs >= WakeGapMs) {
        logSlept(nowMs - *m_lastTickMs);
        m_catchUpDue = true;
    }
    m_lastTickMs = nowMs;
}

void UpdateEngine::sendDueRetry(std::int64_t nowMs)
{
    if (!m_retry.isDue(nowMs))
        return;
    // One request at a time: the retry waits for the one in flight, whose
    // outcome then decides what comes next.
    if (m_channel.busy())
        return;
    log(CoreLog::Level::Info,
        "retrying the update after " + std::to_string(m_retry.failuresInARow()) + " failure(s)");
    send(RequestKind::Retry);
}

void UpdateEngine::send(RequestKind kind)
{
    m_retry.requestSent();
    ++m_requestsSent;
    m_channel.navigate(m_url);
    m_listener.requestSent(kind);
    if (m_urlProblem != UpdateStatus::Reason::Working)
        attemptEnded(true);
}

void UpdateEngine::replaceUrl(const std::string &url)
{
    m_channel.stop();
    setUpdateUrl(url);
    send(RequestKind::Key);
    planWake();
}

void UpdateEngine::networkBack()
{
    syncSoon("network back; syncing at the next tick");
}

void UpdateEngine::systemResumed()
{
    syncSoon("resumed from sleep; syncing at the next tick");
}

void UpdateEngine::syncSoon(const char *why)
{
    log(CoreLog::Level::Info, why);
    catchUp();
    m_catchUpDue = true;
    planWake();
}

void UpdateEngine::requestFinished(const RequestOutcome &outcome)
{
    if (outcome.answerText)
        m_listener.answerShown(*outcome.answerText);
    // A sync the sleeping engine slept through would have abandoned this request.
    const std::uint64_t sentBefore = m_requestsSent;
    catchUp();
    if (m_requestsSent != sentBefore)
        return;
    if (outcome.succeeded()) {
        m_retry.requestSucceeded();
    } else {
        const std::int64_t now = m_clock->nowMs();
        m_retry.requestFailed(now, nextSyncMs(now));
    }
    m_lastRequestFailed = !outcome.succeeded();
    m_lastFailure = outcome;
    m_status = currentStatus();
    m_health = m_status.health();
    m_listener.attemptFinished(outcome, msUntilNextAttempt());
    m_listener.outcomeShown(m_health);
    // Also when unchanged: the answer's page took the area the reason is shown in.
    m_listener.statusShown(m_status);
    attemptEnded(m_health == UpdateHealth::Failing);
    planWake();
}

bool UpdateEngine::windowHidden()
{
    if (m_asleep)
        return false;
    m_asleep = true;
    if (!m_lastTickMs)
        m_lastTickMs = m_clock->nowMs();
    m_plannedWakeMs = *m_lastTickMs;
    planWake();
    return true;
}

bool UpdateEngine::windowShown()
{
    if (!m_asleep)
        return false;
    runDueTicks(m_clock->nowMs());
    m_asleep = false;
    m_wakeTimer.cancel();
    return true;
}

void UpdateEngine::wakeUp()
{
    if (!m_asleep)
        return;
    runDueTicks(m_clock->nowMs());
    planWake();
}

std::int64_t UpdateEngine::msUntilNextTick() const
{
    return m_lastTickMs ? *m_lastTickMs + TickMs - m_clock->nowMs() : TickMs;
}

void UpdateEngine::runDueTicks(std::int64_t nowMs)
{
    if (!m_lastTickMs) {
        m_lastTickMs = nowMs;
        return;
    }
    const std::int64_t due = TickPlan::ticksDue(*m_lastTickMs, nowMs, TickMs);
    if (due == 0)
        return;
    // A wake-up this late means the machine slept: a timer that stands still
    // during suspend comes late by the sleep, one that counts suspend fires at
    // resume when its time passed meanwhile. A ticking program's first tick
    // after sleep is the one that counts.
    if (nowMs - m_plannedWakeMs >= WakeGapMs) {
        runTick(nowMs, true);
        return;
    }
    for (std::int64_t i = 1; i <= due && m_lastTickMs; ++i)
        runTick(*m_lastTickMs + TickMs, i == due);
}

void UpdateEngine::catchUp()
{
    if (m_asleep)
        runDueTicks(m_clock->nowMs());
}

void UpdateEngine::planWake()
{
    if (!m_asleep || !m_lastTickMs)
        return;
    const std::int64_t maxTicks = m_wakeTimer.countsSuspend()
                                      ? TickPlan::MaxTicksAsleepCountingSuspend
                                      : TickPlan::MaxTicksAsleep;
    m_plannedWakeMs =
        TickPlan::nextWakeMs(*m_lastTickMs, TickMs, m_countdown.ticksUntilSync(m_intervalText),
                             m_retry.nextRetryDueMs(), m_catchUpDue, maxTicks);
    m_wakeTimer.schedule(m_plannedWakeMs);
}

std::optional<std::int64_t> UpdateEngine::plannedWakeMs() const
{
    if (!m_asleep)
        return std::nullopt;
    return m_plannedWakeMs;
}

std::optional<std::int64_t> UpdateEngine::nextSyncMs(std::int64_t nowMs) const
{
    if (m_catchUpDue)
        return nowMs + TickMs;
    // During a sync the count is about to restart.
    const std::optional<std::int64_t> ticks = m_inSync ? m_countdown.ticksPerCycle(m_intervalText)
                                                       : m_countdown.ticksUntilSync(m_intervalText);
    if (!ticks)
        return std::nullopt;
    // Counted from the last tick: while asleep, the ticks since are not run yet.
    return (m_lastTickMs ? *m_lastTickMs : nowMs) + *ticks * TickMs;
}

std::optional<std::int64_t> UpdateEngine::msUntilNextAttempt() const
{
    const std::int64_t now = m_clock->nowMs();
    std::optional<std::int64_t> next = nextSyncMs(now);
    if (const std::optional<std::int64_t> retry = m_retry.nextRetryDueMs())
        next = next ? std::min(*next, *retry) : *retry;
    if (!next)
        return std::nullopt;
    return std::max<std::int64_t>(0, *next - now);
}

UpdateStatus UpdateEngine::currentStatus() const
{
    if (m_urlProblem != UpdateStatus::Reason::Working)
        return UpdateStatus(m_urlProblem);
    if (!m_countdown.ticksUntilSync(m_intervalText))
        return UpdateStatus(UpdateStatus::Reason::IntervalPaused, m_intervalText);
    if (m_lastRequestFailed)
        return UpdateStatus(m_lastFailure);
    return UpdateStatus();
}

void UpdateEngine::refreshStatus()
{
    if (!m_started)
        return;
    UpdateStatus status = currentStatus();
    if (status == m_status)
        return;
    m_status = std::move(status);
    m_health = m_status.health();
    m_listener.statusShown(m_status);
}

void UpdateEngine::attemptEnded(bool failed)
{
    const FailureNotice::Notice notice = m_notice.attempt(failed);
    if (notice != FailureNotice::Notice::None)
        m_listener.noticeDue(FailureNotice::title(notice), FailureNotice::text(notice, m_status),
                             FailureNotice::warns(notice));
}
