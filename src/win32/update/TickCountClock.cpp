#include "win32/update/TickCountClock.h"

#include <windows.h>

std::int64_t TickCountClock::nowMs() const
{
    return std::int64_t(GetTickCount64());
}
