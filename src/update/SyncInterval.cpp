#include "update/SyncInterval.h"

#include <algorithm>
#include <cmath>

namespace {

// Longest interval accepted, in seconds (some 31 million years): far inside qint64.
constexpr double maxSeconds = 1e15;

std::optional<double> parseNumber(const QString &text, QLocale locale)
{
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> SyncInterval::minutes(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;

    std::optional<double> value = parseNumber(trimmed, locale);
    if (!value)
        value = parseNumber(trimmed, QLocale::c());
    if (!value)
        return std::nullopt;

    // The negated comparisons also turn away NaN.
    const double m = *value;
    if (!std::isfinite(m) || !(m > 0.0))
        return std::nullopt;
    const double seconds = m * 60.0;
    if (!std::isfinite(seconds) || !(seconds <= maxSeconds))
        return std::nullopt;
    return m;
}

std::optional<qint64> SyncInterval::targetSeconds(const QString &text, const QLocale &locale)
{
    const std::optional<double> m = minutes(text, locale);
    if (!m)
        return std::nullopt;

    // Decimal minutes are rarely exact in binary: 16.1 × 60 comes out as
    // 966.0000000000001. A product that lies within rounding noise of a whole
    // number is taken as that number, so the ceiling does not add a second.
    const double seconds = *m * 60.0;
    const double nearest = std::round(seconds);
    const double noise = std::max(1e-9, seconds * 1e-12);
    const double whole = std::fabs(seconds - nearest) <= noise ? nearest : std::ceil(seconds);

    // Any positive interval lasts at least one second, however small it was typed.
    return std::max<qint64>(1, static_cast<qint64>(whole));
}
