#include "update/SyncInterval.h"

#include "base/Utf8.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace {

// Longest interval accepted, in seconds (some 31 million years): far inside 64 bits.
constexpr double maxSeconds = 1e15;

using Utf8::CodePoint;
using Utf8::decode;

// The blanks that a Qt-style trim removes: ASCII controls \t..\r, and Unicode's
// space, line and paragraph separators.
bool isSpace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// The code point that ends at byte `end` (exclusive), found by stepping back
// over continuation bytes.
CodePoint decodeBefore(std::string_view text, std::size_t end)
{
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    const CodePoint c = decode(text, start);
    if (start + c.length == end)
        return c;
    return {Utf8::Invalid, 1};
}

std::string_view trimmed(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size()) {
        const CodePoint c = decode(text, begin);
        if (!isSpace(c.value))
            break;
        begin += c.length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const CodePoint c = decodeBefore(text, end);
        if (!isSpace(c.value))
            break;
        end -= c.length;
    }
    return text.substr(begin, end - begin);
}

// Reads [+] digits [point digits] [e [+|-] digits] in the given format, with at
// least one digit before the exponent, ASCII digits and the format's own digits
// alike. Anything else fails, group separators and "inf" or "nan" included.
// The number is rewritten in the C form and converted locale-independently.
std::optional<double> parseNumber(std::string_view text, const NumberFormat &format)
{
    const char32_t zero = format.zeroDigit.empty() ? U'0' : decode(format.zeroDigit, 0).value;
    const std::string_view point = format.decimalPoint;
    std::string plain;
    plain.reserve(text.size());

    std::size_t at = 0;
    const auto digit = [&](std::size_t i) -> int {
        const CodePoint c = decode(text, i);
        if (c.value >= U'0' && c.value <= U'9')
            return static_cast<int>(c.value - U'0');
        if (c.value >= zero && c.value <= zero + 9)
            return static_cast<int>(c.value - zero);
        return -1;
    };
    const auto readDigits = [&]() {
        std::size_t count = 0;
        while (at < text.size()) {
            const int d = digit(at);
            if (d < 0)
                break;
            plain.push_back(static_cast<char>('0' + d));
            at += decode(text, at).length;
            ++count;
        }
        return count;
    };

    if (at < text.size() && text[at] == '+')
        ++at;
    std::size_t mantissaDigits = readDigits();
    if (!point.empty() && text.substr(at, point.size()) == point) {
        at += point.size();
        plain.push_back('.');
        mantissaDigits += readDigits();
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        plain.push_back('e');
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
            plain.push_back(text[at]);
            ++at;
        } else if (text.substr(at, 3) == "\u2212") { // the typographic minus
            plain.push_back('-');
            at += 3;
        }
        if (readDigits() == 0)
            return std::nullopt;
    }
    if (at != text.size())
        return std::nullopt;

    double value = 0.0;
    const char *first = plain.data();
    const char *last = first + plain.size();
    const std::from_chars_result result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> SyncInterval::minutes(std::string_view text, const NumberFormat &format)
{
    const std::string_view trimmedText = trimmed(text);
    if (trimmedText.empty())
        return std::nullopt;

    std::optional<double> value = parseNumber(trimmedText, format);
    if (!value)
        value = parseNumber(trimmedText, NumberFormat());
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

namespace {

// Minutes × 60, before the minimum is applied. Decimal minutes are rarely exact
// in binary: 16.1 × 60 comes out as 966.0000000000001. A product that lies
// within rounding noise of a whole number is taken as that number, so rounding
// up does not add a second.
double typedSeconds(double minutes)
{
    const double seconds = minutes * 60.0;
    const double nearest = std::round(seconds);
    const double noise = std::max(1e-9, seconds * 1e-12);
    return std::fabs(seconds - nearest) <= noise ? nearest : seconds;
}

} // namespace

std::optional<std::int64_t> SyncInterval::targetSeconds(std::string_view text,
                                                        const NumberFormat &format)
{
    const std::optional<double> m = minutes(text, format);
    if (!m)
        return std::nullopt;
    return std::max(MinimumSeconds, static_cast<std::int64_t>(std::ceil(typedSeconds(*m))));
}

bool SyncInterval::raised(std::string_view text, const NumberFormat &format)
{
    const std::optional<double> m = minutes(text, format);
    return m && typedSeconds(*m) < static_cast<double>(MinimumSeconds);
}
