#ifndef TAVRIN_QT_UPDATE_BOOTCLOCK_H
#define TAVRIN_QT_UPDATE_BOOTCLOCK_H

#include "base/Clock.h"

#include <QtGlobal>

// Time since the machine booted, suspended time included, so a reading taken
// after the machine slept shows how long it slept. The usual monotonic clock
// (which QTimer runs on) stands still during suspend.
class BootClock : public Clock
{
public:
    std::int64_t nowMs() const override;
};

#endif
