#ifndef TAVRIN_QT_UPDATE_QTWAKETIMER_H
#define TAVRIN_QT_UPDATE_QTWAKETIMER_H

#include "update/WakeTimer.h"

#include <QTimer>

#include <functional>

class Clock;

// The engine's "wake me at" timer on a single-shot, precise QTimer. Times are on
// the given clock, which may run faster than real time by the time scale; the
// timer waits at most a minute of the clock, so a long sleep of the machine
// (during which QTimer stands still) is noticed soon after it ends.
class QtWakeTimer : public WakeTimer
{
public:
    // onWake runs when the time comes; clock must outlive the timer.
    QtWakeTimer(const Clock &clock, std::function<void()> onWake);

    void schedule(std::int64_t atMs) override;
    void cancel() override;

    void setClock(const Clock &clock) { m_clock = &clock; }
    // How many times as fast as real time the clock runs.
    void setTimeScale(double scale) { m_scale = scale; }
    bool isActive() const { return m_timer.isActive(); }
    // Real milliseconds until the timer fires, -1 when it is not armed.
    std::int64_t remainingMs() const { return m_timer.remainingTime(); }

private:
    QTimer m_timer;
    const Clock *m_clock;
    double m_scale = 1.0;
};

#endif
