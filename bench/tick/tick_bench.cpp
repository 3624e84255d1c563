// Cost of the countdown's once-a-second work and of a sync's own work (the part
// that does not touch the network), measured with Google Benchmark.

#include "tray/TrayIconRecord.h"
#include "update/SyncCountdown.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

// As under a German locale: decimal comma.
const NumberFormat German{",", "0"};

// One tick as the window's timer makes it: a sync that falls due restarts the count.
void tickOnce(SyncCountdown &countdown, const std::string &intervalText)
{
    if (countdown.tick(intervalText) == SyncCountdown::Step::SyncDue)
        countdown.syncDone();
    benchmark::DoNotOptimize(countdown.caption().data());
}

void BM_Tick(benchmark::State &state, const char *interval)
{
    SyncCountdown countdown(German);
    const std::string intervalText = interval;
    for (auto _ : state)
        tickOnce(countdown, intervalText);
}
BENCHMARK_CAPTURE(BM_Tick, WholeMinutes, "5");
BENCHMARK_CAPTURE(BM_Tick, GermanDecimal, "1,5");

// What a sync does besides sending the request: restart the count and build the
// tray record that updates the icon.
void BM_SyncOwnWork(benchmark::State &state)
{
    SyncCountdown countdown(German);
    std::uint32_t window = 0x2a00007;
    for (auto _ : state) {
        countdown.syncDone();
        const TrayIconRecord::Bytes bytes = TrayIconRecord::make(window, 1).toBytes();
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(countdown.caption().data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SyncOwnWork);

} // namespace

BENCHMARK_MAIN();
