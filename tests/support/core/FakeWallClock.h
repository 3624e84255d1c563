#ifndef TAVRIN_TESTS_CORE_FAKEWALLCLOCK_H
#define TAVRIN_TESTS_CORE_FAKEWALLCLOCK_H

#include "base/WallClock.h"

#include <cstdint>

// A calendar a test sets, in a time zone a fixed offset from UTC.
class FakeWallClock : public WallClock
{
public:
    explicit FakeWallClock(std::int64_t offsetSeconds = 3600) : m_offset(offsetSeconds) {}

    std::int64_t nowSeconds() const override { return now; }
    LocalTime localTime(std::int64_t seconds) const override
    {
        const std::int64_t local = seconds + m_offset;
        std::int64_t days = local / 86400;
        std::int64_t rest = local % 86400;
        if (rest < 0)
            rest += 86400, --days;
        // Days since 1970 to a civil date (proleptic Gregorian).
        days += 719468;
        const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
        const std::int64_t dayOfEra = days - era * 146097;
        const std::int64_t yearOfEra =
            (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
        const std::int64_t dayOfYear =
            dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
        const std::int64_t mp = (5 * dayOfYear + 2) / 153;
        const int day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
        const int month = int(mp < 10 ? mp + 3 : mp - 9);
        const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
        return {year, month, day, int(rest / 3600), int(rest % 3600 / 60)};
    }
    // The seconds of a local time in this zone.
    std::int64_t at(int year, int month, int day, int hour, int minute) const
    {
        const int y = year - (month <= 2 ? 1 : 0);
        const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
        const std::int64_t yearOfEra = y - era * 400;
        const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
        const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        const std::int64_t days = era * 146097 + dayOfEra - 719468;
        return days * 86400 + hour * 3600 + minute * 60 - m_offset;
    }

    std::int64_t now = 0;

private:
    std::int64_t m_offset;
};

#endif
