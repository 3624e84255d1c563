#include "qt/update/BootTimer.h"

#include "base/Clock.h"
#include "qt/Log.h"
#include "update/TickPlan.h"
#include "update/UpdateEngine.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace {
constexpr std::int64_t NsPerMs = 1000000;
constexpr std::int64_t NsPerS = 1000000000;
// A longer wait is cut short (the engine then plans again); keeps the sum finite.
constexpr double LongestWaitNs = 30.0 * 24 * 3600 * NsPerS;

std::int64_t bootNowNs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return std::int64_t(now.tv_sec) * NsPerS + now.tv_nsec;
}
} // namespace

std::int64_t BootClock::nowMs() const
{
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / NsPerMs;
    // Without a boot-time clock, sleep goes unnoticed but everything else works.
    static QElapsedTimer fallback;
    if (!fallback.isValid())
        fallback.start();
    return fallback.elapsed();
}

BootTimer::BootTimer(const Clock &clock, std::function<void()> onWake)
    : m_clock(&clock), m_onWake(std::move(onWake))
{
    m_fallback.setSingleShot(true);
    m_fallback.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_fallback, &QTimer::timeout, &m_fallback, [this] { m_onWake(); });
    m_fd = timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0) {
        fallBack("timerfd_create", errno);
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { fired(); });
}

BootTimer::~BootTimer()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void BootTimer::schedule(std::int64_t atMs)
{
    const double waitMs = double(atMs - m_clock->nowMs()) / m_scale;
    if (!countsSuspend()) {
        // At most a minute, so a sleep of the machine is noticed soon after it ends.
        const std::int64_t longest = TickPlan::MaxTicksAsleep * UpdateEngine::TickMs;
        m_fallback.start(int(std::clamp<std::int64_t>(std::llround(waitMs), 0, longest)));
        return;
    }
    const double waitNs = std::clamp(waitMs * double(NsPerMs), 0.0, LongestWaitNs);
    // A zero time would disarm the timer; any time already past fires at once.
    const std::int64_t deadline = std::max<std::int64_t>(bootNowNs() + std::llround(waitNs), 1);
    itimerspec when{};
    when.it_value.tv_sec = time_t(deadline / NsPerS);
    when.it_value.tv_nsec = long(deadline % NsPerS);
    if (timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
        fallBack("timerfd_settime", errno);
        return schedule(atMs);
    }
    m_deadlineNs = deadline;
}

void BootTimer::cancel()
{
    if (!countsSuspend())
        return m_fallback.stop();
    // Disarming also clears an expiry the event loop has not delivered yet.
    const itimerspec off{};
    timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &off, nullptr);
    m_deadlineNs.reset();
}

void BootTimer::setTimeScale(double scale)
{
    m_scale = std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

std::int64_t BootTimer::remainingMs() const
{
    if (!countsSuspend())
        return m_fallback.remainingTime();
    if (!m_deadlineNs)
        return -1;
    return std::max<std::int64_t>((*m_deadlineNs - bootNowNs()) / NsPerMs, 0);
}

void BootTimer::fired()
{
    // Nothing to read: the timer was disarmed or re-armed after it expired.
    std::uint64_t expiries = 0;
    if (::read(m_fd, &expiries, sizeof expiries) != ssize_t(sizeof expiries))
        return;
    m_deadlineNs.reset();
    m_onWake();
}

void BootTimer::fallBack(const char *what, int error)
{
    static bool told = false;
    if (!told) {
        told = true;
        qCWarning(lcUpdate).nospace()
            << what << " on the boot-time clock failed (" << std::strerror(error)
            << "); while hidden the program wakes every minute to notice a sleep of the machine";
    }
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_deadlineNs.reset();
}
