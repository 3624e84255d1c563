#include "tray/TrayClickPairing.h"

#include "base/Clock.h"
#include "tray/MouseMessage.h"

TrayClickPairing::TrayClickPairing(const Clock &clock, std::int64_t intervalMs)
    : m_clock(&clock), m_intervalMs(intervalMs)
{
}

void TrayClickPairing::setClock(const Clock &clock)
{
    // Readings of another clock cannot be compared with the last click's.
    m_clock = &clock;
    m_firstClickMs.reset();
    m_pairedMs.reset();
}

std::vector<int> TrayClickPairing::messagesFor(int mouseMessage)
{
    // Hovering comes between the clicks of a double click; it neither starts nor breaks one.
    if (mouseMessage == MouseMessage::Move)
        return {mouseMessage};

    const std::int64_t now = m_clock->nowMs();
    if (mouseMessage == MouseMessage::LeftButtonDoubleClick) {
        const bool madeAlready = within(m_pairedMs, now);
        m_firstClickMs.reset();
        m_pairedMs.reset();
        if (madeAlready)
            return {};
        return {mouseMessage};
    }
    if (mouseMessage != MouseMessage::LeftButtonUp) {
        m_firstClickMs.reset();
        m_pairedMs.reset();
        return {mouseMessage};
    }

    if (within(m_firstClickMs, now)) {
        // A third click starts a new pair rather than completing another.
        m_firstClickMs.reset();
        m_pairedMs = now;
        return {mouseMessage, MouseMessage::LeftButtonDoubleClick};
    }
    m_firstClickMs = now;
    return {mouseMessage};
}

bool TrayClickPairing::within(std::optional<std::int64_t> sinceMs, std::int64_t nowMs) const
{
    return sinceMs && nowMs - *sinceMs < m_intervalMs;
}
