// The interval box and the countdown on arbitrary text.
//
// Input: one byte of options (bit 0: German rather than C locale), then UTF-8
// text; each line is one state of the interval box, as the user edits it while
// the countdown runs. The interval reader must also agree with Qt's own
// locale-aware number reading, which the window's users know from every other
// Qt program.

#include "FuzzCheck.h"
#include "qt/CoreTypes.h"
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
#include <string>

namespace {

constexpr int MaxEdits = 8;
constexpr std::int64_t MaxTicksPerEdit = 80;
// Longest interval accepted, in seconds.
constexpr double MaxSeconds = 1e15;

// The interval as QLocale reads it: in the locale, then in the C form, group
// separators refused, then finite, above zero and at most MaxSeconds long.
std::optional<double> qtMinutes(const QString &text, QLocale locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    double value = locale.toDouble(trimmed, &ok);
    if (!ok) {
        QLocale c = QLocale::c();
        c.setNumberOptions(c.numberOptions() | QLocale::RejectGroupSeparator);
        value = c.toDouble(trimmed, &ok);
    }
    if (!ok || !std::isfinite(value) || !(value > 0.0) || !(value * 60.0 <= MaxSeconds))
        return std::nullopt;
    return value;
}

void checkInterval(const QString &qtText, const QLocale &locale)
{
    const std::string text = toStd(qtText);
    const NumberFormat format = numberFormat(locale);
    const std::optional<double> minutes = SyncInterval::minutes(text, format);
    const std::optional<std::int64_t> seconds = SyncInterval::targetSeconds(text, format);
    FUZZ_CHECK(minutes == qtMinutes(qtText, locale));
    FUZZ_CHECK(minutes.has_value() == seconds.has_value());
    if (!minutes)
        return;
    FUZZ_CHECK(std::isfinite(*minutes) && *minutes > 0.0);
    const double exact = *minutes * 60.0;
    FUZZ_CHECK(exact <= MaxSeconds);
    FUZZ_CHECK(*seconds >= SyncInterval::MinimumSeconds && double(*seconds) <= MaxSeconds);
    // Never shorter than typed (but for rounding noise), never more than a second
    // longer, unless raised to the minimum.
    FUZZ_CHECK(double(*seconds) >= exact - std::max(1e-6, exact * 1e-12));
    FUZZ_CHECK(double(*seconds) <=
               std::max(double(SyncInterval::MinimumSeconds), std::ceil(exact)));

    // A text the C form reads is never read differently under German
    // ("1.5" stays one and a half, never fifteen).
    if (locale.language() != QLocale::C) {
        const std::optional<double> plain = SyncInterval::minutes(text, NumberFormat());
        FUZZ_CHECK(!plain || *plain == *minutes);
    }
}

void checkCountdown(SyncCountdown &countdown, const std::string &text, const NumberFormat &format)
{
    static const QRegularExpression captionForm(QStringLiteral("^Count-Down: [0-9]+Sec\\.$"));
    const std::optional<std::int64_t> target = SyncInterval::targetSeconds(text, format);
    const std::optional<std::int64_t> untilSync = countdown.ticksUntilSync(text);
    const std::optional<std::int64_t> perCycle = countdown.ticksPerCycle(text);
    FUZZ_CHECK(untilSync.has_value() == target.has_value());
    FUZZ_CHECK(perCycle.has_value() == target.has_value());
    if (target) {
        FUZZ_CHECK(*perCycle == *target + 1);
        FUZZ_CHECK(*untilSync >= 1 && *untilSync <= *perCycle);
    }

    const std::int64_t ticks = target ? std::min(*untilSync + 1, MaxTicksPerEdit) : 3;
    for (std::int64_t i = 0; i < ticks; ++i) {
        const std::int64_t before = countdown.tickCount();
        const std::string captionBefore = countdown.caption();
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
            FUZZ_CHECK(captionForm.match(toQt(countdown.caption())).hasMatch());
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale &locale = (data[0] & 1) ? german : QLocale::c();
    const QString input =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const NumberFormat format = numberFormat(locale);
    SyncCountdown countdown(format);
    int edits = 0;
    for (const QString &text : input.split(QLatin1Char('\n'))) {
        if (++edits > MaxEdits)
            break;
        checkInterval(text, locale);
        checkCountdown(countdown, toStd(text), format);
    }
    return 0;
}
