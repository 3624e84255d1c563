#include "app/SpinStep.h"

#include "base/AsciiText.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace {
std::optional<std::int64_t> wholeNumber(std::string_view text)
{
    text = AsciiText::trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        // Past an int it is no number the box could step from.
        if (value > std::int64_t(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return value;
}
} // namespace

int SpinStep::stepped(std::string_view buddyText, int ownValue, int delta, int minimum, int maximum)
{
    const std::int64_t from = wholeNumber(buddyText).value_or(ownValue);
    return int(std::clamp<std::int64_t>(from + delta, minimum, std::max(minimum, maximum)));
}
