#ifndef TAVRIN_BASE_ASCIITEXT_H
#define TAVRIN_BASE_ASCIITEXT_H

#include <cstddef>
#include <string>
#include <string_view>

// Character tests and case folding for the ASCII parts of protocol text (URLs,
// HTTP heads, HTML names, command-line switches), independent of the locale.
namespace AsciiText {

constexpr bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

constexpr char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The value of a hexadecimal digit, or -1.
constexpr int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    const char l = lower(c);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

// Blanks as HTTP heads and typed numbers have them around their text.
constexpr bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// text without the blanks (or the given characters) at either end.
constexpr std::string_view trimmed(std::string_view text, std::string_view blanks = " \t\r\n\f\v")
{
    const std::size_t start = text.find_first_not_of(blanks);
    if (start == std::string_view::npos)
        return {};
    return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

inline std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = lower(c);
    return out;
}

// Equal but for the case of ASCII letters.
constexpr bool sameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace AsciiText

#endif
