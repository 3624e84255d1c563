#include "qt/update/BootTimer.h"

#include "base/Clock.h"
#include "qt/Log.h"

#include <QtGlobal>

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

double usableScale(double scale)
{
    return std::isfinite(scale) && scale > 0 ? scale : 1.0;
}
} // namespace

BootTimer::BootTimer(const Clock &clock, std::function<void()> onWake)
    : m_clock(&clock), m_onWake(std::move(onWake))
{
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
    if (m_fallback) {
        m_fallback->schedule(atMs);
        return;
    }
    const double waitNs =
        std::clamp(double(atMs - m_clock->nowMs()) * double(NsPerMs) / m_scale, 0.0, LongestWaitNs);
    // A zero time would disarm the timer; any time already past fires at once.
    const std::int64_t deadline = std::max<std::int64_t>(bootNowNs() + std::llround(waitNs), 1);
    itimerspec when{};
    when.it_value.tv_sec = time_t(deadline / NsPerS);
    when.it_value.tv_nsec = long(deadline % NsPerS);
    if (timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
        fallBack("timerfd_settime", errno);
        m_fallback->schedule(atMs);
        return;
    }
    m_deadlineNs = deadline;
}

void BootTimer::cancel()
{
    if (m_fallback) {
        m_fallback->cancel();
        return;
    }
    // Disarming also clears an expiry the event loop has not delivered yet.
    const itimerspec off{};
    timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &off, nullptr);
    m_deadlineNs.reset();
}

void BootTimer::setClock(const Clock &clock)
{
    m_clock = &clock;
    if (m_fallback)
        m_fallback->setClock(clock);
}

void BootTimer::setTimeScale(double scale)
{
    m_scale = usableScale(scale);
    if (m_fallback)
        m_fallback->setTimeScale(m_scale);
}

bool BootTimer::isActive() const
{
    return m_fallback ? m_fallback->isActive() : m_deadlineNs.has_value();
}

std::int64_t BootTimer::remainingMs() const
{
    if (m_fallback)
        return m_fallback->remainingMs();
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
    m_fallback.emplace(*m_clock, m_onWake);
    m_fallback->setTimeScale(m_scale);
}
