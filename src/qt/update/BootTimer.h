#ifndef TAVRIN_QT_UPDATE_BOOTTIMER_H
#define TAVRIN_QT_UPDATE_BOOTTIMER_H

#include "base/Clock.h"
#include "update/WakeTimer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Time since the machine booted, suspended time included, so a reading taken
// after the machine slept shows how long it slept. The usual monotonic clock
// (which QTimer runs on) stands still during suspend.
class BootClock : public Clock
{
public:
    std::int64_t nowMs() const override;
};

// The engine's "wake me at" timer on the boot-time clock, which runs on while
// the machine is suspended: a timerfd armed at an absolute time, watched by the
// event loop. A wake-up that fell due during suspend fires right after resume,
// so the engine need not wake every minute to notice a sleep.
//
// Times are on the given clock, which may run faster than real time by the
// time scale; each schedule turns the time left on that clock into a boot-time
// deadline. Without a timerfd (the system refuses one), the timer falls back to
// a QTimer that waits at most a minute, and says so once in the log.
class BootTimer : public WakeTimer
{
public:
    // onWake runs when the time comes; clock must outlive the timer.
    BootTimer(const Clock &clock, std::function<void()> onWake);
    ~BootTimer() override;
    BootTimer(const BootTimer &) = delete;
    BootTimer &operator=(const BootTimer &) = delete;

    void schedule(std::int64_t atMs) override;
    void cancel() override;
    bool countsSuspend() const override { return m_fd >= 0; }

    void setClock(const Clock &clock) { m_clock = &clock; }
    // How many times as fast as real time the clock runs.
    void setTimeScale(double scale);
    bool isActive() const
    {
        return countsSuspend() ? m_deadlineNs.has_value() : m_fallback.isActive();
    }
    // Real milliseconds until the timer fires (0 when overdue), -1 when it is not armed.
    std::int64_t remainingMs() const;

private:
    void fired();
    void fallBack(const char *what, int error);

    const Clock *m_clock;
    std::function<void()> m_onWake;
    double m_scale = 1.0;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    // Boot-clock time in ns the armed timerfd fires at.
    std::optional<std::int64_t> m_deadlineNs;
    // Without a timerfd; it stands still while the machine sleeps.
    QTimer m_fallback;
};

#endif
