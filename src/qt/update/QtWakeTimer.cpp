#include "qt/update/QtWakeTimer.h"

#include "base/Clock.h"
#include "update/TickPlan.h"
#include "update/UpdateEngine.h"

#include <algorithm>
#include <cmath>

QtWakeTimer::QtWakeTimer(const Clock &clock, std::function<void()> onWake) : m_clock(&clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(onWake));
}

void QtWakeTimer::schedule(std::int64_t atMs)
{
    const double delay = double(atMs - m_clock->nowMs()) / m_scale;
    const std::int64_t longest = TickPlan::MaxTicksAsleep * UpdateEngine::TickMs;
    m_timer.start(int(std::clamp<std::int64_t>(std::llround(delay), 0, longest)));
}

void QtWakeTimer::cancel()
{
    m_timer.stop();
}
