#ifndef TAVRIN_UPDATE_SYNCCOUNTDOWN_H
#define TAVRIN_UPDATE_SYNCCOUNTDOWN_H

#include "update/NumberFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Counts the window's one-second ticks towards the next sync and keeps the
// caption that shows the seconds left.
//
// The interval text is read afresh on every tick, so an edit takes effect at
// once: an unusable text pauses the count, a shorter interval than the ticks
// already counted makes the sync due on the next tick. An interval shorter than
// SyncInterval::MinimumSeconds counts as that long.
class SyncCountdown
{
public:
    enum class Step
    {
        Paused,  // the interval text is unusable; nothing changed
        Counted, // one more second counted; caption shows the seconds left
        SyncDue  // the interval is used up; the caller syncs, then calls syncDone()
    };

    // format: how the user's locale writes the interval (the C form by default).
    explicit SyncCountdown(NumberFormat format = NumberFormat());

    Step tick(std::string_view intervalText); // one timer tick
    void syncDone();                          // TickCount <- 0, caption <- sync caption
    std::int64_t tickCount() const;
    // Ticks until the one that syncs, the tick after a count that has run out:
    // 1 when the sync is due now. nullopt when the interval text is unusable.
    std::optional<std::int64_t> ticksUntilSync(std::string_view intervalText) const;
    // The same, counted from a restarted count (right after syncDone()).
    std::optional<std::int64_t> ticksPerCycle(std::string_view intervalText) const;
    // Caption after the last Counted step or syncDone(); empty before either.
    const std::string &caption() const;
    static std::string syncCaption();                              // "KORLA DNS Conector SYNC"
    static std::string countdownCaption(std::int64_t secondsLeft); // "Count-Down: " + N + "Sec."

private:
    NumberFormat m_format;
    std::int64_t m_tickCount = 0;
    std::string m_caption;
    bool m_paused = false;
    // The interval in use was raised to the minimum, and that was logged.
    bool m_raisedLogged = false;
};

#endif
