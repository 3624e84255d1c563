#include "update/IpAddress.h"

#include "base/AsciiText.h"

bool IpAddress::parseIpv4(std::string_view text, std::array<int, 4> &parts)
{
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != '.')
                return false;
            ++at;
        }
        const std::size_t start = at;
        int value = 0;
        while (at < text.size() && AsciiText::isDigit(text[at]) && at - start < 3)
            value = value * 10 + (text[at++] - '0');
        const std::size_t length = at - start;
        if (length == 0 || value > 255 || (length > 1 && text[start] == '0'))
            return false;
        parts[std::size_t(i)] = value;
    }
    return at == text.size();
}

bool IpAddress::parseIpv6(std::string_view text, std::array<std::uint16_t, 8> &groups)
{
    std::array<std::uint16_t, 8> head{}, tail{};
    std::size_t headCount = 0, tailCount = 0;
    bool compressed = false;
    std::size_t at = 0;
    if (text.substr(0, 2) == "::") {
        compressed = true;
        at = 2;
    } else if (!text.empty() && text[0] == ':') {
        return false;
    }
    while (at < text.size()) {
        auto &list = compressed ? tail : head;
        auto &count = compressed ? tailCount : headCount;
        if (headCount + tailCount >= 8)
            return false;
        const std::size_t start = at;
        unsigned value = 0;
        while (at < text.size() && AsciiText::hexValue(text[at]) >= 0 && at - start < 4)
            value = value * 16 + unsigned(AsciiText::hexValue(text[at++]));
        if (at < text.size() && text[at] == '.') {
            // An IPv4 address fills the last two groups.
            std::array<int, 4> v4{};
            if (headCount + tailCount > 6 || !parseIpv4(text.substr(start), v4))
                return false;
            list[count++] = std::uint16_t(v4[0] << 8 | v4[1]);
            list[count++] = std::uint16_t(v4[2] << 8 | v4[3]);
            at = text.size();
            break;
        }
        if (at == start)
            return false;
        list[count++] = std::uint16_t(value);
        if (at == text.size())
            break;
        if (text[at] != ':')
            return false;
        ++at;
        if (at < text.size() && text[at] == ':') {
            if (compressed)
                return false;
            compressed = true;
            ++at;
        } else if (at == text.size()) {
            return false;
        }
    }
    const std::size_t total = headCount + tailCount;
    if (compressed ? total > 7 : total != 8)
        return false;
    groups.fill(0);
    for (std::size_t i = 0; i < headCount; ++i)
        groups[i] = head[i];
    for (std::size_t i = 0; i < tailCount; ++i)
        groups[8 - tailCount + i] = tail[i];
    return true;
}
