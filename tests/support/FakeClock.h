#ifndef TAVRIN_TESTS_FAKECLOCK_H
#define TAVRIN_TESTS_FAKECLOCK_H

#include "base/Clock.h"

// A clock that stands still until a test moves it.
class FakeClock : public Clock
{
public:
    explicit FakeClock(qint64 startMs = 1000000) : ms(startMs) {}
    std::int64_t nowMs() const override { return ms; }
    void advance(qint64 byMs) { ms += byMs; }

    qint64 ms;
};

#endif
