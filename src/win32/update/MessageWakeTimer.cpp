#include "win32/update/MessageWakeTimer.h"

#include "base/Clock.h"

#include <algorithm>
#include <climits>
#include <cmath>

constexpr UINT_PTR WakeTimerId = 1;

MessageWakeTimer::MessageWakeTimer(const Clock &clock, std::function<void()> onWake)
    : m_clock(&clock), m_onWake(std::move(onWake)),
      m_window([this](UINT message, WPARAM wParam, LPARAM) { return fired(message, wParam); })
{
}

void MessageWakeTimer::schedule(std::int64_t atMs)
{
    const double realMs = double(atMs - m_clock->nowMs()) / m_scale;
    const auto delay =
        UINT(std::clamp(std::ceil(realMs), double(USER_TIMER_MINIMUM), double(INT_MAX)));
    SetTimer(m_window.hwnd(), WakeTimerId, delay, nullptr);
}

void MessageWakeTimer::cancel()
{
    KillTimer(m_window.hwnd(), WakeTimerId);
}

void MessageWakeTimer::setTimeScale(double scale)
{
    m_scale = std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

bool MessageWakeTimer::fired(UINT message, WPARAM wParam)
{
    if (message != WM_TIMER || wParam != WakeTimerId)
        return false;
    // One shot: the engine plans the next wake-up itself.
    cancel();
    if (m_onWake)
        m_onWake();
    return true;
}
