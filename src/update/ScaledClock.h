#ifndef TAVRIN_UPDATE_SCALEDCLOCK_H
#define TAVRIN_UPDATE_SCALEDCLOCK_H

#include "base/Clock.h"

#include <cstdint>

// Runs another clock's time faster (or slower) by a factor, for test builds
// that must not wait out real minutes. Changing the factor keeps the time
// continuous: readings before and after the change never jump.
class ScaledClock : public Clock
{
public:
    // base must outlive this clock. A factor that is not above zero counts as 1.
    explicit ScaledClock(const Clock &base, double factor = 1.0);

    std::int64_t nowMs() const override;
    void setFactor(double factor);
    double factor() const { return m_factor; }

private:
    const Clock &m_base;
    double m_factor = 1.0;
    std::int64_t m_baseAnchorMs = 0;   // base reading when the factor last changed
    std::int64_t m_scaledAnchorMs = 0; // this clock's reading at that moment
};

#endif
