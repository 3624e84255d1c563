#include "update/ScaledClock.h"

#include <cmath>

namespace {
double usableFactor(double factor)
{
    return std::isfinite(factor) && factor > 0 ? factor : 1.0;
}
} // namespace

ScaledClock::ScaledClock(const Clock &base, double factor)
    : m_base(base), m_factor(usableFactor(factor)), m_baseAnchorMs(base.nowMs()),
      m_scaledAnchorMs(m_baseAnchorMs)
{
}

std::int64_t ScaledClock::nowMs() const
{
    const std::int64_t elapsed = m_base.nowMs() - m_baseAnchorMs;
    return m_scaledAnchorMs + std::int64_t(std::llround(double(elapsed) * m_factor));
}

void ScaledClock::setFactor(double factor)
{
    const std::int64_t baseNow = m_base.nowMs();
    m_scaledAnchorMs += std::int64_t(std::llround(double(baseNow - m_baseAnchorMs) * m_factor));
    m_baseAnchorMs = baseNow;
    m_factor = usableFactor(factor);
}
