// Cost of the countdown's once-a-second work and of a sync's own work (the part
// that does not touch the network), measured with Google Benchmark.

#include "tray/TrayIconRecord.h"
#include "update/SyncCountdown.h"

#include <QLocale>
#include <QString>

#include <benchmark/benchmark.h>

namespace {

// One tick as the window's timer makes it: a sync that falls due restarts the count.
void tickOnce(SyncCountdown &countdown, const QString &intervalText)
{
    if (countdown.tick(intervalText) == SyncCountdown::Step::SyncDue)
        countdown.syncDone();
    benchmark::DoNotOptimize(countdown.caption().constData());
}

void BM_Tick(benchmark::State &state, const char *interval)
{
    SyncCountdown countdown(QLocale(QLocale::German, QLocale::Germany));
    const QString intervalText = QString::fromLatin1(interval);
    for (auto _ : state)
        tickOnce(countdown, intervalText);
}
BENCHMARK_CAPTURE(BM_Tick, WholeMinutes, "5");
BENCHMARK_CAPTURE(BM_Tick, GermanDecimal, "1,5");

// What a sync does besides sending the request: restart the count and build the
// tray record that updates the icon.
void BM_SyncOwnWork(benchmark::State &state)
{
    SyncCountdown countdown(QLocale(QLocale::German, QLocale::Germany));
    quint32 window = 0x2a00007;
    for (auto _ : state) {
        countdown.syncDone();
        const QByteArray bytes = TrayIconRecord::make(window, 1).toBytes();
        benchmark::DoNotOptimize(bytes.constData());
        benchmark::DoNotOptimize(countdown.caption().constData());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SyncOwnWork);

} // namespace

BENCHMARK_MAIN();
