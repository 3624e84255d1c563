#ifndef TAVRIN_BASE_WALLCLOCK_H
#define TAVRIN_BASE_WALLCLOCK_H

#include <cstdint>

// A moment as the user's calendar and clock on the wall show it.
struct LocalTime
{
    int year = 1970;
    int month = 1; // 1 to 12
    int day = 1;   // 1 to 31
    int hour = 0;
    int minute = 0;
};

// The calendar time, for what the user reads ("heute 18:25"). The schedule runs
// on the monotonic Clock; this one may jump when the user sets the time.
class WallClock
{
public:
    virtual ~WallClock() = default;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual std::int64_t nowSeconds() const = 0;
    // The moment in the user's time zone, summer time included.
    virtual LocalTime localTime(std::int64_t seconds) const = 0;
};

// The system's calendar time and time zone.
class SystemWallClock : public WallClock
{
public:
    std::int64_t nowSeconds() const override;
    LocalTime localTime(std::int64_t seconds) const override;
};

#endif
