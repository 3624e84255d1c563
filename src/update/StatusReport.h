#ifndef TAVRIN_UPDATE_STATUSREPORT_H
#define TAVRIN_UPDATE_STATUSREPORT_H

#include "base/WallClock.h"

#include <cstdint>
#include <optional>
#include <string>

struct RequestOutcome;
class UpdateStatus;

// What the answer area tells the user at a glance, above the service's own
// text: when it last worked and what the service said, or when and why the last
// attempt failed and when the next comes. Times are kept as calendar seconds and
// written when the text is made, so "heute" is right whenever it is shown.
class StatusReport
{
public:
    // A request ended at atSeconds; nextSeconds: when the next goes out, if planned.
    void attemptEnded(const RequestOutcome &outcome, std::int64_t atSeconds,
                      std::optional<std::int64_t> nextSeconds);

    // The answer area's text (UTF-8): the status, a blank line, the answer.
    std::string text(const UpdateStatus &status, const std::string &answer,
                     const WallClock &clock) const;

    // "heute 18:25", "gestern 23:10", "morgen 00:05", else "07.12.2026 18:25".
    static std::string when(const LocalTime &at, const LocalTime &now);

private:
    std::string successText(const WallClock &clock, const LocalTime &now) const;
    std::string failureText(const UpdateStatus &status, const WallClock &clock,
                            const LocalTime &now) const;

    std::optional<std::int64_t> m_lastAttemptSeconds;
    std::optional<std::int64_t> m_nextSeconds;
    std::optional<std::int64_t> m_lastSuccessSeconds;
    // Of the last success.
    std::string m_word;
    std::optional<std::string> m_address;
};

#endif
