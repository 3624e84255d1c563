#ifndef TAVRIN_UPDATE_WAKETIMER_H
#define TAVRIN_UPDATE_WAKETIMER_H

#include <cstdint>

// One "wake me at" timer on the engine's clock. A new schedule replaces the
// one before; when it fires, the platform calls UpdateEngine::wakeUp().
class WakeTimer
{
public:
    virtual ~WakeTimer() = default;
    virtual void schedule(std::int64_t atMs) = 0;
    virtual void cancel() = 0;
};

#endif
