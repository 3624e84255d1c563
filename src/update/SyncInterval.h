#ifndef TAVRIN_UPDATE_SYNCINTERVAL_H
#define TAVRIN_UPDATE_SYNCINTERVAL_H

#include "update/NumberFormat.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Reads the interval box: a number of minutes as the user typed it (UTF-8).
//
// The text is read in the given format first ("1,5" under German) and, where
// that fails, in the plain C form ("1.5"). Group separators are refused in both,
// so a German "1.5" means one and a half, never fifteen. Leading and trailing
// blanks (any Unicode space) are ignored. A usable interval is finite, above
// zero and short enough that its length in seconds stays far inside 64 bits.
// A usable interval shorter than MinimumSeconds counts as MinimumSeconds long,
// so that a tiny interval cannot flood the service; the text stays as typed.
class SyncInterval
{
public:
    static constexpr std::int64_t MinimumSeconds = 30;

    // Minutes typed in the interval box; nullopt when the text is not a usable interval.
    static std::optional<double> minutes(std::string_view text, const NumberFormat &format);
    // Seconds until a sync is due: minutes × 60 rounded up, at least
    // MinimumSeconds; nullopt when unusable.
    static std::optional<std::int64_t> targetSeconds(std::string_view text,
                                                     const NumberFormat &format);
    // Whether a usable interval is shorter than MinimumSeconds and so raised to it.
    static bool raised(std::string_view text, const NumberFormat &format);
};

#endif
