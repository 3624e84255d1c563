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

void BM_TickWholeMinutes(benchmark::State &state)
{
    SyncCountdown countdown(QLocale(QLocale::German, QLocale::Germany));
    const QString interval = QStringLiteral("5");
    for (auto _ : state)
        tickOnce(countdown, interval);
}
BENCHMARK(BM_TickWholeMinutes);

void BM_TickGermanDecimal(benchmark::State &state)
{
    SyncCountdown countdown(QLocale(QLocale::German, QLocale::Germany));
    const QString interval = QStringLiteral("1,5");
    for (auto _ : state)
        tickOnce(countdown, interval);
}
BENCHMARK(BM_TickGermanDecimal);

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
