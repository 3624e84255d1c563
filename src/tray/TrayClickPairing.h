#ifndef TAVRIN_TRAY_TRAYCLICKPAIRING_H
#define TAVRIN_TRAY_TRAYCLICKPAIRING_H

#include <cstdint>
#include <optional>
#include <vector>

class Clock;

// Some trays report one activation per click (left button up, 514) and never a
// double click (515). Two such clicks within the platform's double-click
// interval are taken as a double click here. Trays that do report the double
// click send its clicks too: the 515 that follows a pair already made is
// dropped, so one double click is acted on once.
class TrayClickPairing
{
public:
    // clock must outlive the pairing; intervalMs: the longest gap between the
    // clicks of a double click (two clicks this far apart are two clicks).
    TrayClickPairing(const Clock &clock, std::int64_t intervalMs);

    void setClock(const Clock &clock);

    // The mouse messages to pass on for one from the tray, in order: the message
    // itself, followed by a double click when it is the second click of a pair;
    // nothing for a double click made from its clicks already.
    std::vector<int> messagesFor(int mouseMessage);

private:
    bool within(std::optional<std::int64_t> sinceMs, std::int64_t nowMs) const;

    const Clock *m_clock;
    std::int64_t m_intervalMs;
    std::optional<std::int64_t> m_firstClickMs; // a click waiting for its second
    std::optional<std::int64_t> m_pairedMs;     // when the last pair was made
};

#endif
