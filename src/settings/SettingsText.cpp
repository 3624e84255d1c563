#include "settings/SettingsText.h"

#include <cstdint>

// Every function here walks its text once, front to back, without recursion.

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view Replacement = "\xEF\xBF\xBD"; // U+FFFD
constexpr char HexDigits[] = "0123456789abcdef";

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the bytes
// there are none (overlong, a surrogate, past U+10FFFF, cut short).
std::size_t utf8Length(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    if (lead < 0x80)
        return 1;
    std::size_t length = 4;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

void appendUtf8(std::string &out, std::uint32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

int hexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

bool isBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// One line: its content [begin, end) and where the next one begins. The only
// place that decides where lines end, for reading and writing alike.
struct Line
{
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

Line lineAt(std::string_view data, std::size_t begin)
{
    const std::size_t newline = data.find('\n', begin);
    if (newline == std::string_view::npos)
        return {begin, data.size(), data.size()};
    const bool crlf = newline > begin && data[newline - 1] == '\r';
    return {begin, crlf ? newline - 1 : newline, newline + 1};
}

// What a walk through the lines found for one group and name.
struct Place
{
    bool found = false;         // the value's line: its value is [valueBegin, valueEnd)
    std::size_t valueBegin = 0; // after '=' and the blanks that follow it
    std::size_t valueEnd = 0;
    bool hasGroup = false;
    Line groupEnd; // the group's last header or value line: a new value goes after it
};

Place find(std::string_view data, std::string_view group, std::string_view name)
{
    Place place;
    bool inGroup = false;
    std::size_t position = data.substr(0, 3) == ByteOrderMark ? 3 : 0;
    while (position < data.size()) {
        const Line line = lineAt(data, position);
        position = line.next;
        const std::string_view text = trimmed(data.substr(line.begin, line.end - line.begin));
        if (text.empty() || text.front() == ';' || text.front() == '#')
            continue;
        if (text.front() == '[') {
            const std::size_t close = text.find(']');
            if (close != std::string_view::npos) {
                inGroup = trimmed(text.substr(1, close - 1)) == group;
                if (inGroup) {
                    place.hasGroup = true;
                    place.groupEnd = line;
                }
            }
            continue;
        }
        const std::size_t equals = text.find('=');
        if (!inGroup || equals == std::string_view::npos)
            continue;
        place.groupEnd = line;
        if (trimmed(text.substr(0, equals)) != name)
            continue;
        place.found = true;
        place.valueBegin = std::size_t(text.data() - data.data()) + equals + 1;
        while (place.valueBegin < line.end && isBlank(data[place.valueBegin]))
            ++place.valueBegin;
        place.valueEnd = line.end;
    }
    return place;
}

// The value as written after "name=".
std::string escaped(std::string_view value)
{
    std::string out;
    out.reserve(value.size() + 2);
    if (!value.empty() && value.front() == '@')
        out += '@';
    // A hex escape runs on over hex digits: one that follows it is escaped too.
    bool afterHexEscape = false;
    for (std::size_t i = 0; i < value.size();) {
        const std::size_t length = utf8Length(value, i);
        if (length != 1) {
            if (length == 0)
                out += Replacement;
            else
                out.append(value.substr(i, length));
            i += length == 0 ? 1 : length;
            afterHexEscape = false;
            continue;
        }
        const char ch = value[i++];
        if (ch == '\\') {
            out += "\\\\";
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\r') {
            out += "\\r";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F ||
                   (afterHexEscape && hexValue(ch) >= 0)) {
            out += "\\x";
            out += HexDigits[(ch >> 4) & 0xF];
            out += HexDigits[ch & 0xF];
            afterHexEscape = true;
            continue;
        } else if (ch == '"' && i == 1) {
            out += "\\\"";
        } else {
            out += ch;
        }
        afterHexEscape = false;
    }
    if (!out.empty() && (out.front() == ' ' || out.back() == ' '))
        out = '"' + out + '"';
    return out;
}

// What the text after "name=" reads as.
std::string unescaped(std::string_view raw)
{
    raw = trimmed(raw);
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
        // The closing quote counts unless a backslash escapes it.
        std::size_t backslashes = 0;
        while (backslashes < raw.size() - 2 && raw[raw.size() - 2 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0)
            raw = raw.substr(1, raw.size() - 2);
    }
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        const char code = raw[++i];
        switch (code) {
        case '\\':
        case '"':
            out += code;
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'a':
            out += '\a';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'v':
            out += '\v';
            break;
        case '0':
            out += '\0';
            break;
        case 'x': {
            std::size_t end = i + 1;
            std::uint32_t character = 0;
            for (; end < raw.size() && hexValue(raw[end]) >= 0; ++end) {
                if (character <= 0x10FFFF)
                    character = character * 16 + std::uint32_t(hexValue(raw[end]));
            }
            if (end == i + 1) {
                out += "\\x";
                break;
            }
            const bool usable = character <= 0x10FFFF && (character < 0xD800 || character > 0xDFFF);
            appendUtf8(out, usable ? character : 0xFFFD);
            i = end - 1;
            break;
        }
        default:
            out += '\\';
            out += code;
        }
    }
    // "@@" stands for a leading '@'; earlier versions put "@String(...)" around text with a NUL.
    if (out.size() >= 2 && out[0] == '@' && out[1] == '@')
        out.erase(0, 1);
    else if (out.size() >= 9 && out.compare(0, 8, "@String(") == 0 && out.back() == ')')
        out = out.substr(8, out.size() - 9);
    return out;
}

} // namespace

std::string SettingsText::problem(std::string_view data)
{
    if (data.find('\0') != std::string_view::npos)
        return "it contains binary data";
    for (std::size_t i = 0; i < data.size();) {
        const std::size_t length = utf8Length(data, i);
        if (length == 0)
            return "it is not UTF-8 text";
        i += length;
    }
    return std::string();
}

std::optional<std::string> SettingsText::value(std::string_view data, std::string_view group,
                                               std::string_view name)
{
    const Place place = find(data, group, name);
    if (!place.found)
        return std::nullopt;
    return unescaped(data.substr(place.valueBegin, place.valueEnd - place.valueBegin));
}

std::string SettingsText::withValue(std::string_view data, std::string_view group,
                                    std::string_view name, std::string_view value)
{
    const Place place = find(data, group, name);
    const std::string written = escaped(value);
    std::string out;
    out.reserve(data.size() + name.size() + written.size() + group.size() + 8);
    if (place.found) {
        out.append(data.substr(0, place.valueBegin));
        out += written;
        out.append(data.substr(place.valueEnd));
        return out;
    }
    // New lines end as the file's first line does.
    const std::size_t newline = data.find('\n');
    const std::string_view lineBreak =
        newline != std::string_view::npos && newline > 0 && data[newline - 1] == '\r' ? "\r\n"
                                                                                      : "\n";
    // A last line without an end gets one that leaves it as it was: a "\r" it
    // ends with stays part of it.
    const auto endLastLine = [&] {
        if (!out.empty() && out.back() != '\n')
            out += out.back() == '\r' ? "\r\n" : lineBreak;
    };
    const std::string line = std::string(name) + '=' + written;
    if (place.hasGroup) {
        const Line &after = place.groupEnd;
        const bool ended = after.next > after.end;
        out.append(data.substr(0, after.next));
        if (!ended)
            endLastLine();
        out += line;
        if (ended)
            out += lineBreak;
        out.append(data.substr(after.next));
        return out;
    }
    out.append(data);
    if (!out.empty()) {
        endLastLine();
        out += lineBreak;
    }
    out += '[';
    out.append(group);
    out += ']';
    out += lineBreak;
    out += line;
    out += lineBreak;
    return out;
}
