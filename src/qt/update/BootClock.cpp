#include "qt/update/BootClock.h"

#include <QElapsedTimer>

#include <time.h>

std::int64_t BootClock::nowMs() const
{
#ifdef CLOCK_BOOTTIME
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    // Without a boot-time clock, sleep goes unnoticed but everything else works.
    static QElapsedTimer fallback;
    if (!fallback.isValid())
        fallback.start();
    return fallback.elapsed();
}
