// A tiny driver for callgrind: makes N countdown ticks (and N syncs' own work)
// inside functions that callgrind-tick.sh collects alone, so start-up and
// locale loading stay out of the count.
//
// Usage: tavrin-tick-driver <ticks> <interval text> [sync|engine]

#include "base/Clock.h"
#include "tray/TrayIconRecord.h"
#include "update/RequestChannel.h"
#include "update/SyncCountdown.h"
#include "update/UpdateEngine.h"
#include "update/UpdateListener.h"
#include "update/WakeTimer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Platform parts that cost nothing, so the count is the engine's own: a clock
// that moves a second per reading, a channel that is never busy, a listener
// that keeps the caption's pointer.
class SteppingClock : public Clock
{
public:
    std::int64_t nowMs() const override { return m_ms += 1000; }

private:
    mutable std::int64_t m_ms = 0;
};

class IdleTimer : public WakeTimer
{
public:
    void schedule(std::int64_t) override {}
    void cancel() override {}
};

class IdleChannel : public RequestChannel
{
public:
    void navigate(const std::string &) override {}
    void stop() override {}
    bool busy() const override { return false; }
    void setTheaterMode(bool) override {}
    void setFinishedHandler(FinishedHandler) override {}
};

class CaptionSink : public UpdateListener
{
public:
    void captionChanged(const std::string &caption) override { last = caption.data(); }
    void synced(const std::string &caption, UpdateHealth) override { last = caption.data(); }
    void outcomeShown(UpdateHealth) override {}
    void answerShown(const std::string &) override {}
    void requestSent(RequestKind) override {}
    void statusShown(const UpdateStatus &) override {}
    void attemptFinished(const RequestOutcome &, std::optional<std::int64_t>) override {}
    void noticeDue(const std::string &, const std::string &, bool) override {}
    const char *volatile last = nullptr;
};

} // namespace

extern "C" {

// One tick as the shown window's timer makes it, through the update engine.
__attribute__((noinline)) long tavrin_bench_engine_ticks(UpdateEngine *engine, long ticks)
{
    for (long i = 0; i < ticks; ++i)
        engine->tick();
    return engine->tickCount();
}

__attribute__((noinline)) long tavrin_bench_ticks(SyncCountdown *countdown,
                                                  const std::string *intervalText, long ticks)
{
    long syncs = 0;
    for (long i = 0; i < ticks; ++i) {
        if (countdown->tick(*intervalText) == SyncCountdown::Step::SyncDue) {
            countdown->syncDone();
            ++syncs;
        }
    }
    return syncs;
}

__attribute__((noinline)) long tavrin_bench_syncs(SyncCountdown *countdown, long syncs)
{
    long total = 0;
    for (long i = 0; i < syncs; ++i) {
        countdown->syncDone();
        total += TrayIconRecord::make(std::uint32_t(i), 1).toBytes().size();
    }
    return total;
}
}

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <ticks> <interval text> [sync|engine]\n", argv[0]);
        return 2;
    }
    const long count = std::atol(argv[1]);
    const std::string interval = argv[2];
    const bool sync = argc > 3 && std::strcmp(argv[3], "sync") == 0;
    const bool engineTicks = argc > 3 && std::strcmp(argv[3], "engine") == 0;
    if (engineTicks) {
        SteppingClock clock;
        IdleTimer timer;
        IdleChannel channel;
        CaptionSink listener;
        UpdateEngine engine(clock, timer, channel, listener, NumberFormat{",", "0"});
        engine.intervalChanged(interval);
        engine.tick();
        std::printf("%ld %ld\n", count, tavrin_bench_engine_ticks(&engine, count));
        return 0;
    }
    // As under a German locale: decimal comma.
    SyncCountdown countdown(NumberFormat{",", "0"});
    // One tick outside the collected part, so the count covers steady ticks only.
    countdown.tick(interval);
    const long result = sync ? tavrin_bench_syncs(&countdown, count)
                             : tavrin_bench_ticks(&countdown, &interval, count);
    std::printf("%ld %ld\n", count, result);
    return 0;
}
