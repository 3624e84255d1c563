#ifndef TAVRIN_BASE_UTF8_H
#define TAVRIN_BASE_UTF8_H

#include <cstddef>
#include <string>
#include <string_view>

// The core's one UTF-8 reader and writer.
namespace Utf8 {

// What a byte that starts no well-formed sequence reads as: no code point.
constexpr char32_t Invalid = 0x110000;

struct CodePoint
{
    char32_t value;
    std::size_t length;
};

// The code point at text[at]; Invalid and one byte long for a malformed byte,
// an overlong form, a surrogate or a value past U+10FFFF.
constexpr CodePoint decode(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) {
        return char32_t(static_cast<unsigned char>(text[at + i]));
    };
    const char32_t lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size())
        return {Invalid, 1};
    char32_t value = lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return {Invalid, 1};
        value = (value << 6) | (byte(i) & 0x3F);
    }
    constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < shortest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return {Invalid, 1};
    return {value, length};
}

inline void append(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
        return;
    }
    constexpr unsigned char Lead[] = {0, 0xC0, 0xE0, 0xF0};
    const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += char(Lead[tail] | (c >> (6 * tail)));
    for (int i = tail - 1; i >= 0; --i)
        out += char(0x80 | ((c >> (6 * i)) & 0x3F));
}

} // namespace Utf8

#endif
