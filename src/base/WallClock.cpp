#include "base/WallClock.h"

#include <ctime>

std::int64_t SystemWallClock::nowSeconds() const
{
    return std::int64_t(std::time(nullptr));
}

LocalTime SystemWallClock::localTime(std::int64_t seconds) const
{
    const std::time_t t = std::time_t(seconds);
    std::tm tm{};
#ifdef _WIN32
    if (localtime_s(&tm, &t) != 0)
        return {};
#else
    if (!localtime_r(&t, &tm))
        return {};
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min};
}
