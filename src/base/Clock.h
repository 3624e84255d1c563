#ifndef TAVRIN_BASE_CLOCK_H
#define TAVRIN_BASE_CLOCK_H

#include <cstdint>

// A source of the current time in milliseconds from some fixed start. Only
// differences between two readings mean anything; they never go backwards.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
};

#endif
