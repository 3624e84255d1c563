#include "update/SyncCountdown.h"

#include "base/CoreLog.h"
#include "update/SyncInterval.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace {

constexpr std::string_view CountdownPrefix = "Count-Down: ";
constexpr std::string_view CountdownSuffix = "Sec.";

// Rewrites caption in place, so a tick reuses the caption's storage instead of
// allocating a new string every second. Plain digits: no locale, no grouping.
void writeCountdownCaption(std::string &caption, std::int64_t secondsLeft)
{
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, secondsLeft);
    caption.assign(CountdownPrefix);
    caption.append(digits, end.ptr);
    caption.append(CountdownSuffix);
}

} // namespace

SyncCountdown::SyncCountdown(NumberFormat format) : m_format(std::move(format)) {}

SyncCountdown::Step SyncCountdown::tick(std::string_view intervalText)
{
    const std::optional<std::int64_t> target = SyncInterval::targetSeconds(intervalText, m_format);
    if (!target) {
        if (!m_paused)
            CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Debug,
                           "Countdown paused: interval \"" + std::string(intervalText) +
                               "\" is not usable");
        m_paused = true;
        return Step::Paused;
    }
    if (m_paused)
        CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Debug,
                       "Countdown resumed with " + std::to_string(*target) + " seconds");
    m_paused = false;

    // Only a target at the minimum can have been raised; others skip the second read.
    const bool raised =
        *target == SyncInterval::MinimumSeconds && SyncInterval::raised(intervalText, m_format);
    if (raised && !m_raisedLogged)
        CoreLog::write(CoreLog::Area::Update, CoreLog::Level::Info,
                       "interval \"" + std::string(intervalText) + "\" is under " +
                           std::to_string(SyncInterval::MinimumSeconds) + " s; counted as " +
                           std::to_string(SyncInterval::MinimumSeconds) + " s");
    m_raisedLogged = raised;

    if (m_tickCount >= *target)
        return Step::SyncDue;

    ++m_tickCount;
    writeCountdownCaption(m_caption, *target - m_tickCount);
    return Step::Counted;
}

void SyncCountdown::syncDone()
{
    m_tickCount = 0;
    m_caption = syncCaption();
}

std::int64_t SyncCountdown::tickCount() const
{
    return m_tickCount;
}

std::optional<std::int64_t> SyncCountdown::ticksUntilSync(std::string_view intervalText) const
{
    const std::optional<std::int64_t> target = SyncInterval::targetSeconds(intervalText, m_format);
    if (!target)
        return std::nullopt;
    return std::max<std::int64_t>(*target - m_tickCount, 0) + 1;
}

std::optional<std::int64_t> SyncCountdown::ticksPerCycle(std::string_view intervalText) const
{
    const std::optional<std::int64_t> target = SyncInterval::targetSeconds(intervalText, m_format);
    if (!target)
        return std::nullopt;
    return *target + 1;
}

const std::string &SyncCountdown::caption() const
{
    return m_caption;
}

std::string SyncCountdown::syncCaption()
{
    return "KORLA DNS Conector SYNC";
}

std::string SyncCountdown::countdownCaption(std::int64_t secondsLeft)
{
    std::string caption;
    writeCountdownCaption(caption, secondsLeft);
    return caption;
}
