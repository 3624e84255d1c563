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
    // Whether the time runs on while the machine is suspended, so that a
    // wake-up that fell due meanwhile comes right after resume. A timer that
    // stands still instead makes the engine wake at least once a minute.
    virtual bool countsSuspend() const { return false; }
};

#endif
