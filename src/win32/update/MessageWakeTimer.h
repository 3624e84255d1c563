#ifndef TAVRIN_WIN32_UPDATE_MESSAGEWAKETIMER_H
#define TAVRIN_WIN32_UPDATE_MESSAGEWAKETIMER_H

#include "update/WakeTimer.h"
#include "win32/MessageWindow.h"

#include <windows.h>

#include <functional>

class Clock;

// The engine's "wake me at" timer as a window timer of its own message-only
// window, so it fires on the user-interface thread. Times are on the given
// clock, which may run faster than real time by the time scale. The machine's
// waking from sleep is reported by the main window and brings a sync at once,
// so a wake-up missed while asleep costs nothing: the timer counts as one that
// counts suspend.
class MessageWakeTimer : public WakeTimer
{
public:
    // onWake runs when the time comes; clock must outlive the timer.
    MessageWakeTimer(const Clock &clock, std::function<void()> onWake);
    MessageWakeTimer(const MessageWakeTimer &) = delete;
    MessageWakeTimer &operator=(const MessageWakeTimer &) = delete;

    void schedule(std::int64_t atMs) override;
    void cancel() override;
    bool countsSuspend() const override { return true; }

    // How many times as fast as real time the clock runs.
    void setTimeScale(double scale);

private:
    bool fired(UINT message, WPARAM wParam);

    const Clock *m_clock;
    std::function<void()> m_onWake;
    double m_scale = 1.0;
    MessageWindow m_window;
};

#endif
