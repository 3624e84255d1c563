#ifndef TAVRIN_WIN32_UPDATE_TICKCOUNTCLOCK_H
#define TAVRIN_WIN32_UPDATE_TICKCOUNTCLOCK_H

#include "base/Clock.h"

#include <windows.h>

// Milliseconds since the system started, sleep and hibernation included, so a
// sync that fell due while the machine slept is seen as due at once.
class TickCountClock : public Clock
{
public:
    std::int64_t nowMs() const override { return std::int64_t(GetTickCount64()); }
};

#endif
