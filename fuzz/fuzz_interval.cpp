// The interval box and the countdown on arbitrary text.
//
// Input: one byte of options (bit 0: German rather than C locale), then UTF-8
// text; each line is one state of the interval box, as the user edits it while
// the countdown runs.

#include "FuzzCheck.h"
#include "update/SyncCountdown.h"
#include "update/SyncInterval.h"

#include <QByteArray>
#include <QLocale>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

constexpr int MaxEdits = 8;
constexpr qint64 MaxTicksPerEdit = 80;
// Longest interval accepted, in seconds.
constexpr double MaxSeconds = 1e15;

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void checkInterval(const QString &text, const QLocale &locale)
{
    const std::optional<double> minutes = SyncInterval::minutes(text, locale);
    const std::optional<qint64> seconds = SyncInterval::targetSeconds(text, locale);
    FUZZ_CHECK(minutes.has_value() == seconds.has_value());
    if (!minutes)
        return;
    FUZZ_CHECK(std::isfinite(*minutes) && *minutes > 0.0);
    const double exact = *minutes * 60.0;
    FUZZ_CHECK(exact <= MaxSeconds);
    FUZZ_CHECK(*seconds >= 1 && double(*seconds) <= MaxSeconds);
    // Never shorter than typed (but for rounding noise), never more than a second longer.
    FUZZ_CHECK(double(*seconds) >= exact - std::max(1e-6, exact * 1e-12));
    FUZZ_CHECK(double(*seconds) <= std::max(1.0, std::ceil(exact)));

    // A text the C form reads is never read differently under German
    // ("1.5" stays one and a half, never fifteen).
    if (locale.language() != QLocale::C) {
        const std::optional<double> plain = SyncInterval::minutes(text, QLocale::c());
        FUZZ_CHECK(!plain || *plain == *minutes);
    }
}

void checkCountdown(SyncCountdown &countdown, const QString &text, const QLocale &locale)
{
    static const QRegularExpression captionForm(QStringLiteral("^Count-Down: [0-9]+Sec\\.$"));
    const std::optional<qint64> target = SyncInterval::targetSeconds(text, locale);
    const std::optional<qint64> untilSync = countdown.ticksUntilSync(text);
    const std::optional<qint64> perCycle = countdown.ticksPerCycle(text);
    FUZZ_CHECK(untilSync.has_value() == target.has_value());
    FUZZ_CHECK(perCycle.has_value() == target.has_value());
    if (target) {
        FUZZ_CHECK(*perCycle == *target + 1);
        FUZZ_CHECK(*untilSync >= 1 && *untilSync <= *perCycle);
    }

    const qint64 ticks = target ? std::min(*untilSync + 1, MaxTicksPerEdit) : 3;
    for (qint64 i = 0; i < ticks; ++i) {
        const qint64 before = countdown.tickCount();
        const QString captionBefore = countdown.caption();
        const SyncCountdown::Step step = countdown.tick(text);
        FUZZ_CHECK(countdown.tickCount() >= 0);
        if (!target) {
            // Never a sync while the text is unusable, and nothing moves.
            FUZZ_CHECK(step == SyncCountdown::Step::Paused);
            FUZZ_CHECK(countdown.tickCount() == before);
            FUZZ_CHECK(countdown.caption() == captionBefore);
            continue;
        }
        FUZZ_CHECK(step != SyncCountdown::Step::Paused);
        if (step == SyncCountdown::Step::Counted) {
            FUZZ_CHECK(countdown.tickCount() == before + 1);
            FUZZ_CHECK(countdown.tickCount() <= *target);
            FUZZ_CHECK(countdown.caption() ==
                       SyncCountdown::countdownCaption(*target - countdown.tickCount()));
            FUZZ_CHECK(captionForm.match(countdown.caption()).hasMatch());
            FUZZ_CHECK(i + 1 < *untilSync);
            continue;
        }
        // The sync comes on exactly the tick ticksUntilSync() announced.
        FUZZ_CHECK(before >= *target);
        FUZZ_CHECK(countdown.tickCount() == before);
        FUZZ_CHECK(i + 1 == *untilSync);
        countdown.syncDone();
        FUZZ_CHECK(countdown.tickCount() == 0);
        FUZZ_CHECK(countdown.caption() == SyncCountdown::syncCaption());
        FUZZ_CHECK(countdown.ticksUntilSync(text) == perCycle);
        return;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The countdown logs each pause; the fuzzer has no use for that.
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale &locale = (data[0] & 1) ? german : QLocale::c();
    const QString input =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    SyncCountdown countdown(locale);
    int edits = 0;
    for (const QString &text : input.split(QLatin1Char('\n'))) {
        if (++edits > MaxEdits)
            break;
        checkInterval(text, locale);
        checkCountdown(countdown, text, locale);
    }
    return 0;
}
