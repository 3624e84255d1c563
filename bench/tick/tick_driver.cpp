// A tiny driver for callgrind: makes N countdown ticks (and N syncs' own work)
// inside functions that callgrind-tick.sh collects alone, so start-up and
// locale loading stay out of the count.
//
// Usage: tavrin-tick-driver <ticks> <interval text> [sync]

#include "tray/TrayIconRecord.h"
#include "update/SyncCountdown.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {

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
        std::fprintf(stderr, "usage: %s <ticks> <interval text> [sync]\n", argv[0]);
        return 2;
    }
    const long count = std::atol(argv[1]);
    const std::string interval = argv[2];
    const bool sync = argc > 3 && std::strcmp(argv[3], "sync") == 0;
    // As under a German locale: decimal comma.
    SyncCountdown countdown(NumberFormat{",", "0"});
    // One tick outside the collected part, so the count covers steady ticks only.
    countdown.tick(interval);
    const long result = sync ? tavrin_bench_syncs(&countdown, count)
                             : tavrin_bench_ticks(&countdown, &interval, count);
    std::printf("%ld %ld\n", count, result);
    return 0;
}
