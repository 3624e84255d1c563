#include "update/UpdateUrl.h"

#include "base/AsciiText.h"
#include "update/IpAddress.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace {

using AsciiText::hexValue;
using AsciiText::isDigit;
using AsciiText::lowered;

// Characters a path or query keeps as they are: unreserved, sub-delimiters,
// ':' '@' '/' '?', and the brackets, which servers take as they come.
bool keptInTarget(char c)
{
    if (AsciiText::isLetter(c) || isDigit(c))
        return true;
    constexpr std::string_view kept = "-._~!$&'()*+,;=:@/?[]";
    return kept.find(c) != std::string_view::npos;
}

bool isEscape(std::string_view text, std::size_t at)
{
    return at + 2 < text.size() && text[at] == '%' && hexValue(text[at + 1]) >= 0 &&
           hexValue(text[at + 2]) >= 0;
}

// Percent-encodes what a request target cannot hold, byte by byte; existing
// %XX escapes stay as typed.
std::string encodeTarget(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (keptInTarget(c) || isEscape(text, i)) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

std::string hexGroup(std::uint16_t value)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const int digit = (value >> shift) & 0xF;
        if (digit || started || shift == 0) {
            out += digits[digit];
            started = true;
        }
    }
    return out;
}

// The canonical text: lower case, the longest run of two or more zero groups
// as "::" (the first of equal runs), an IPv4-mapped or -compatible address
// with its IPv4 part in dotted decimal.
std::string formatIpv6(const std::array<std::uint16_t, 8> &g)
{
    std::size_t groupCount = 8;
    std::string v4;
    const bool zero80 = g[0] == 0 && g[1] == 0 && g[2] == 0 && g[3] == 0 && g[4] == 0;
    if (zero80 && (g[5] == 0xFFFF || (g[5] == 0 && g[6] != 0))) {
        groupCount = 6;
        v4 = std::to_string(g[6] >> 8) + "." + std::to_string(g[6] & 0xFF) + "." +
             std::to_string(g[7] >> 8) + "." + std::to_string(g[7] & 0xFF);
    }
    std::size_t bestStart = groupCount, bestLength = 1;
    for (std::size_t i = 0; i < groupCount;) {
        std::size_t j = i;
        while (j < groupCount && g[j] == 0)
            ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::string out;
    for (std::size_t i = 0; i < groupCount; ++i) {
        if (i == bestStart) {
            out += "::";
            i += bestLength - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':')
            out += ':';
        out += hexGroup(g[i]);
    }
    if (!v4.empty())
        out += (out.empty() || out.back() != ':' ? ":" : "") + v4;
    return out;
}

// True for any spelling of an IPv4 address that resolvers take: one to four
// numbers in decimal, octal (leading 0) or hexadecimal (0x), the last one
// filling the bytes left, as in "127.1" or "0x7f000001".
bool spellsIpv4(std::string_view text)
{
    int parts = 1;
    for (char c : text)
        parts += c == '.';
    if (parts > 4)
        return false;
    std::size_t start = 0;
    for (int i = 0; i < parts; ++i) {
        std::size_t end = text.find('.', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view number = text.substr(start, end - start);
        start = end + 1;
        int base = 10;
        if (number.size() > 2 && number[0] == '0' && AsciiText::lower(number[1]) == 'x') {
            base = 16;
            number.remove_prefix(2);
        } else if (number.size() > 1 && number[0] == '0') {
            base = 8;
            number.remove_prefix(1);
        }
        if (number.empty())
            return false;
        const std::uint64_t limit =
            i + 1 < parts ? 255 : (std::uint64_t(1) << (8 * (5 - parts))) - 1;
        std::uint64_t value = 0;
        for (char c : number) {
            const int digit = hexValue(c);
            if (digit < 0 || digit >= base)
                return false;
            value = value * std::uint64_t(base) + std::uint64_t(digit);
            if (value > limit)
                return false;
        }
    }
    return true;
}

// A host name of ASCII labels, or an IPv4 address in dotted decimal; other
// spellings of an address are refused rather than rewritten.
bool validName(const std::string &host)
{
    std::string_view name = host;
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    if (name.empty() || name.size() > 253)
        return false;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = name.find('.', start);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view label = name.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label) {
            if (!AsciiText::isLetter(c) && !isDigit(c) && c != '-' && c != '_')
                return false;
        }
        start = end + 1;
    }
    std::array<int, 4> parts{};
    return !spellsIpv4(host) || IpAddress::parseIpv4(host, parts);
}

bool parsePort(std::string_view text, int &port)
{
    port = -1;
    if (text.empty())
        return true;
    long value = 0;
    for (char c : text) {
        if (!isDigit(c))
            return false;
        value = value * 10 + (c - '0');
        if (value > 65535)
            return false;
    }
    port = int(value);
    return true;
}

std::string bracketed(const std::string &host)
{
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string origin(const UpdateUrl::RequestUrl &url)
{
    std::string text = url.scheme + "://" + bracketed(url.host);
    if (url.port >= 0)
        text += ":" + std::to_string(url.port);
    return text;
}

} // namespace

std::string UpdateUrl::compose(const std::string &baseUrl, const std::string &key)
{
    return baseUrl + key;
}

std::string UpdateUrl::baseUrl()
{
    return TAVRIN_UPDATE_BASE_URL;
}

std::optional<UpdateUrl::RequestUrl> UpdateUrl::toRequestUrl(const std::string &updateUrl)
{
    std::string_view text = updateUrl;
    // Nothing after '#' is ever sent.
    text = text.substr(0, text.find('#'));

    std::size_t at = 0;
    if (text.empty() || !AsciiText::isLetter(text[0]))
        return std::nullopt;
    while (at < text.size() && (AsciiText::isLetter(text[at]) || isDigit(text[at]) ||
                                text[at] == '+' || text[at] == '-' || text[at] == '.'))
        ++at;
    RequestUrl url;
    url.scheme = lowered(text.substr(0, at));
    if (url.scheme != "http" && url.scheme != "https")
        return std::nullopt;
    if (text.substr(at, 3) != "://")
        return std::nullopt;
    text.remove_prefix(at + 3);

    const std::size_t authorityEnd = text.find_first_of("/?");
    std::string_view authority = text.substr(0, authorityEnd);
    std::string_view rest =
        authorityEnd == std::string_view::npos ? std::string_view() : text.substr(authorityEnd);

    // User info is never sent; more than one '@' leaves the host unclear.
    const std::size_t userInfoEnd = authority.find('@');
    if (userInfoEnd != std::string_view::npos) {
        if (authority.find('@', userInfoEnd + 1) != std::string_view::npos)
            return std::nullopt;
        authority.remove_prefix(userInfoEnd + 1);
    }

    std::string_view portText;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        std::array<std::uint16_t, 8> groups{};
        if (!IpAddress::parseIpv6(authority.substr(1, close - 1), groups))
            return std::nullopt;
        url.host = formatIpv6(groups);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':')
            return std::nullopt;
        portText = after.empty() ? after : after.substr(1);
    } else {
        const std::size_t colon = authority.find(':');
        url.host = lowered(authority.substr(0, colon));
        if (colon != std::string_view::npos)
            portText = authority.substr(colon + 1);
        if (!validName(url.host))
            return std::nullopt;
    }
    if (!parsePort(portText, url.port))
        return std::nullopt;

    url.target = encodeTarget(rest);
    if (url.target.empty() || url.target[0] != '/')
        url.target.insert(0, "/");
    url.url = origin(url) + url.target;
    return url;
}

std::string UpdateUrl::redacted(const std::optional<RequestUrl> &url)
{
    // Only scheme, host and port: the target holds the key.
    return url ? origin(*url) : std::string("(no valid URL)");
}
