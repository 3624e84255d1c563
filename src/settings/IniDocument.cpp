#include "settings/IniDocument.h"

#include <algorithm>
#include <cstdint>

// The rules below follow QSettings' INI format closely, down to its quirks
// (which spaces a value keeps, how an escape ends), because the file is shared
// with the program's earlier versions and with people editing it by hand.

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isAsciiSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

int hexValue(char32_t ch)
{
    if (ch >= '0' && ch <= '9')
        return int(ch - '0');
    if (ch >= 'a' && ch <= 'f')
        return int(ch - 'a' + 10);
    if (ch >= 'A' && ch <= 'F')
        return int(ch - 'A' + 10);
    return -1;
}

int octValue(char ch)
{
    return ch >= '0' && ch <= '7' ? ch - '0' : -1;
}

// Length of the well-formed UTF-8 sequence at text[i] and its code point, or
// 0 when the bytes there are not one (overlong, surrogate, past U+10FFFF, cut short).
std::size_t utf8Sequence(std::string_view text, std::size_t i, char32_t *codePoint)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    std::size_t length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

bool isUtf8(std::string_view text)
{
    char32_t ignored;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8Sequence(text, i, &ignored);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void appendUtf16(std::u16string &out, char32_t codePoint)
{
    if (codePoint < 0x10000) {
        out += char16_t(codePoint);
    } else {
        codePoint -= 0x10000;
        out += char16_t(0xD800 + (codePoint >> 10));
        out += char16_t(0xDC00 + (codePoint & 0x3FF));
    }
}

// Bad bytes become U+FFFD, one per byte.
std::u16string fromUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t codePoint;
        const std::size_t length = utf8Sequence(text, i, &codePoint);
        appendUtf16(out, length == 0 ? kReplacement : codePoint);
        i += length == 0 ? 1 : length;
    }
    return out;
}

void appendUtf8(std::string &out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xC0 | (codePoint >> 6));
        out += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += char(0xE0 | (codePoint >> 12));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    } else {
        out += char(0xF0 | (codePoint >> 18));
        out += char(0x80 | ((codePoint >> 12) & 0x3F));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    }
}

// The code point at text[*i], advancing *i past it; a lone surrogate is U+FFFD.
char32_t nextCodePoint(const std::u16string &text, std::size_t *i)
{
    const char16_t unit = text[(*i)++];
    if (unit >= 0xD800 && unit <= 0xDBFF && *i < text.size() && text[*i] >= 0xDC00 &&
        text[*i] <= 0xDFFF) {
        const char16_t low = text[(*i)++];
        return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
    }
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return kReplacement;
    return unit;
}

std::string lowerHex(unsigned value)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return out;
}

bool startsWith(const std::u16string &text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::u16string_view(text).substr(0, prefix.size()) == prefix;
}

// One line as QSettings splits a file: leading white space skipped, a comment
// line skipped whole, '=' (the first one outside quotes) found, and the line
// ended by a line break or an unquoted ';' (a line break inside quotes does
// not end it).
bool readLine(std::string_view data, std::size_t &dataPos, std::size_t &lineStart,
              std::size_t &lineLength, std::ptrdiff_t &equalsPos)
{
    const auto isSpace = [](char ch) {
        return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
    };
    const auto isSpecial = [](char ch) {
        return ch == '\n' || ch == '\r' || ch == '"' || ch == ';' || ch == '=' || ch == '\\';
    };
    const std::size_t size = data.size();
    bool inQuotes = false;
    equalsPos = -1;
    lineStart = dataPos;
    while (lineStart < size && isSpace(data[lineStart]))
        ++lineStart;

    std::size_t i = lineStart;
    while (i < size) {
        char ch = data[i];
        while (!isSpecial(ch)) {
            if (++i == size)
                goto done;
            ch = data[i];
        }
        ++i;
        if (ch == '=') {
            if (!inQuotes && equalsPos == -1)
                equalsPos = std::ptrdiff_t(i - 1);
        } else if (ch == '\n' || ch == '\r') {
            if (i == lineStart + 1) {
                ++lineStart;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char escaped = data[i++];
                if (i < size) {
                    const char next = data[i];
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else { // ';'
            if (i == lineStart + 1) {
                while (i < size && data[i] != '\n' && data[i] != '\r')
                    ++i;
                while (i < size && isSpace(data[i]))
                    ++i;
                lineStart = i;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        }
    }
done:
    dataPos = i;
    lineLength = i - lineStart;
    return lineLength > 0;
}

// Whether one line (as split at line breaks) is a blank line, a comment, a
// section header or a key=value pair. A backslash escapes the next
// character, '=' and ';' count only outside double quotes, and an unquoted
// ';' starts a comment.
bool isIniLine(std::string_view line)
{
    line = trimmed(line);
    if (line.empty() || line.front() == ';')
        return true;
    if (line.front() == '[')
        return line.find(']') != std::string_view::npos;
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char ch = line[i];
        if (ch == '\\')
            ++i;
        else if (ch == '"')
            inQuotes = !inQuotes;
        else if (!inQuotes && ch == ';')
            return false;
        else if (!inQuotes && ch == '=')
            return true;
    }
    return false;
}

void chopTrailingSpaces(std::u16string &text, std::size_t limit)
{
    while (text.size() > limit && (text.back() == u' ' || text.back() == u'\t'))
        text.pop_back();
}

// The value after '=' as text, or as a list when it has unquoted commas.
// Returns whether it is a list.
bool unescapedStringList(std::string_view str, std::u16string &text,
                         std::vector<std::u16string> &list)
{
    static const char escapeCodes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                          {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                          {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    enum class State
    {
        SkipSpaces,
        Normal,
        HexEscape,
        OctEscape,
        End
    };
    bool isList = false;
    bool inQuotedString = false;
    bool currentValueIsQuoted = false;
    char16_t escapeValue = 0;
    std::size_t i = 0;
    std::size_t chopLimit = 0;
    const std::size_t size = str.size();
    State state = State::SkipSpaces;

    while (state != State::End) {
        switch (state) {
        case State::SkipSpaces:
            while (i < size && (str[i] == ' ' || str[i] == '\t'))
                ++i;
            state = State::Normal;
            break;
        case State::Normal: {
            // Spaces before this point were escaped or quoted: they stay.
            chopLimit = text.size();
            bool leaveNormal = false;
            while (i < size && !leaveNormal) {
                const char ch = str[i];
                if (ch == '\\') {
                    ++i;
                    if (i >= size) {
                        state = State::End;
                        leaveNormal = true;
                        break;
                    }
                    const char escaped = str[i++];
                    bool known = false;
                    for (const auto &code : escapeCodes) {
                        if (escaped == code[0]) {
                            text += char16_t(static_cast<unsigned char>(code[1]));
                            known = true;
                            break;
                        }
                    }
                    if (known) {
                        leaveNormal = true; // re-enters Normal with a new chop limit
                        break;
                    }
                    if (escaped == 'x') {
                        escapeValue = 0;
                        if (i >= size) {
                            state = State::End;
                            leaveNormal = true;
                            break;
                        }
                        if (hexValue(char32_t(static_cast<unsigned char>(str[i]))) >= 0) {
                            state = State::HexEscape;
                            leaveNormal = true;
                            break;
                        }
                    } else if (const int octal = octValue(escaped); octal >= 0) {
                        escapeValue = char16_t(octal);
                        state = State::OctEscape;
                        leaveNormal = true;
                        break;
                    } else if (escaped == '\n' || escaped == '\r') {
                        if (i < size) {
                            const char next = str[i];
                            if ((next == '\n' || next == '\r') && next != escaped)
                                ++i;
                        }
                    }
                    // Any other escaped character is dropped.
                    chopLimit = text.size();
                } else if (ch == '"') {
                    ++i;
                    currentValueIsQuoted = true;
                    inQuotedString = !inQuotedString;
                    if (!inQuotedString) {
                        state = State::SkipSpaces;
                        leaveNormal = true;
                    }
                } else if (ch == ',' && !inQuotedString) {
                    if (!currentValueIsQuoted)
                        chopTrailingSpaces(text, chopLimit);
                    if (!isList) {
                        isList = true;
                        list.clear();
                    }
                    list.push_back(text);
                    text.clear();
                    currentValueIsQuoted = false;
                    ++i;
                    state = State::SkipSpaces;
                    leaveNormal = true;
                } else {
                    std::size_t j = i + 1;
                    while (j < size && str[j] != '\\' && str[j] != '"' && str[j] != ',')
                        ++j;
                    text += fromUtf8(str.substr(i, j - i));
                    i = j;
                }
            }
            if (!leaveNormal) {
                if (!currentValueIsQuoted)
                    chopTrailingSpaces(text, chopLimit);
                state = State::End;
            }
            break;
        }
        case State::HexEscape:
        case State::OctEscape: {
            const bool hex = state == State::HexEscape;
            if (i >= size) {
                text += escapeValue;
                state = State::End;
                break;
            }
            const char ch = str[i];
            const int digit =
                hex ? hexValue(char32_t(static_cast<unsigned char>(ch))) : octValue(ch);
            if (digit >= 0) {
                // Wraps at 16 bits, as a UTF-16 unit does.
                escapeValue = char16_t((escapeValue << (hex ? 4 : 3)) + digit);
                ++i;
            } else {
                text += escapeValue;
                state = State::Normal;
            }
            break;
        }
        case State::End:
            break;
        }
    }
    if (isList)
        list.push_back(text);
    return isList;
}

} // namespace

std::string IniDocument::problem(std::string_view data)
{
    if (data.find('\0') != std::string_view::npos)
        return "it contains binary data";
    if (!isUtf8(data))
        return "it is not UTF-8 text";
    if (data.substr(0, 3) == "\xef\xbb\xbf")
        data.remove_prefix(3);
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = data.size();
        if (!isIniLine(data.substr(start, end - start)))
            return "it has lines that are not INI entries";
        start = end + 1;
    }
    return std::string();
}

IniDocument::IniDocument(std::string data) : m_data(std::move(data))
{
    parse();
}

void IniDocument::parse()
{
    m_entries.clear();
    m_sections.clear();
    const std::string_view data(m_data);
    std::size_t position = data.substr(0, 3) == "\xef\xbb\xbf" ? 3 : 0;
    // The lines before the first header belong to [General].
    m_sections.push_back(Section{std::u16string(), position, false});
    std::u16string sectionKey;
    std::size_t lineStart = 0;
    std::size_t lineLength = 0;
    std::ptrdiff_t equalsPos = -1;
    while (readLine(data, position, lineStart, lineLength, equalsPos)) {
        const std::string_view line = data.substr(lineStart, lineLength);
        const std::size_t lineEnd = lineStart + lineLength;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view header = trimmed(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            if (equalsIgnoringAsciiCase(header, "general")) {
                // [General] holds the keys without a section.
                sectionKey.clear();
            } else if (equalsIgnoringAsciiCase(header, "%general")) {
                // A section really called "General".
                sectionKey.clear();
                for (const char ch : header.substr(1))
                    sectionKey += char16_t(static_cast<unsigned char>(ch));
                sectionKey += u'/';
            } else {
                sectionKey = unescapedKey(header) + u'/';
            }
            m_sections.push_back(Section{sectionKey, lineEnd, true});
            continue;
        }
        if (equalsPos < 0)
            continue; // a line problem() rejects; QSettings skips it too
        const auto equals = std::size_t(equalsPos);
        Entry entry;
        entry.sectionKey = sectionKey;
        entry.key = sectionKey + unescapedKey(trimmed(data.substr(lineStart, equals - lineStart)));
        entry.order = m_entries.size();
        entry.valueBegin = equals + 1;
        entry.valueEnd = lineEnd;
        m_entries.push_back(std::move(entry));
        m_sections.back().end = lineEnd;
        m_sections.back().hasLines = true;
    }
}

const IniDocument::Entry *IniDocument::find(const std::u16string &key) const
{
    // QSettings reads the sections in the order of their names, each from top
    // to bottom, and a key read later replaces one read before.
    const Entry *winner = nullptr;
    for (const Entry &entry : m_entries) {
        if (entry.key != key)
            continue;
        if (!winner || entry.sectionKey > winner->sectionKey ||
            (entry.sectionKey == winner->sectionKey && entry.order > winner->order))
            winner = &entry;
    }
    return winner;
}

IniDocument::Value IniDocument::value(const std::u16string &key, bool *found) const
{
    const Entry *entry = find(key);
    *found = entry != nullptr;
    if (!entry)
        return Value();
    return parsedValue(
        std::string_view(m_data).substr(entry->valueBegin, entry->valueEnd - entry->valueBegin));
}

bool IniDocument::holdsText(const std::u16string &key, const std::u16string &text) const
{
    bool found = false;
    const Value stored = value(key, &found);
    return found && stored.kind == Value::Kind::Text && stored.text == text;
}

std::string IniDocument::lineBreak() const
{
    return m_data.find("\r\n") != std::string::npos ? "\r\n" : "\n";
}

void IniDocument::setText(const std::u16string &key, const std::u16string &text)
{
    const std::string escaped = escapedText(text);
    if (const Entry *entry = find(key)) {
        m_data.replace(entry->valueBegin, entry->valueEnd - entry->valueBegin, escaped);
        parse();
        return;
    }

    // As QSettings files it: the section is the part before the first '/'.
    const std::size_t slash = key.find(u'/');
    const std::u16string section =
        slash == std::u16string::npos ? std::u16string() : key.substr(0, slash);
    const std::u16string name = slash == std::u16string::npos ? key : key.substr(slash + 1);
    const std::u16string sectionKey = section.empty() ? std::u16string() : section + u'/';
    const std::string line = escapedKey(name) + '=' + escaped;
    const std::string newLine = lineBreak();

    const auto occurrence =
        std::find_if(m_sections.rbegin(), m_sections.rend(),
                     [&](const Section &s) { return s.hasLines && s.sectionKey == sectionKey; });
    if (occurrence != m_sections.rend()) {
        m_data.insert(occurrence->end, newLine + line);
    } else {
        std::string header = section.empty() ? std::string("General") : escapedKey(section);
        if (!section.empty() && equalsIgnoringAsciiCase(header, "general"))
            header.insert(0, 1, '%');
        if (!trimmed(m_data).empty()) {
            if (m_data.back() != '\n' && m_data.back() != '\r')
                m_data += newLine;
            m_data += newLine;
        }
        m_data += '[' + header + ']' + newLine + line + newLine;
    }
    parse();
}

std::string IniDocument::escapedText(const std::u16string &original)
{
    // Text holding NUL is marked as a string; text starting with '@' gets a
    // second one, so it is not taken for a type marker.
    std::u16string text = original;
    if (text.find(u'\0') != std::u16string::npos)
        text = u"@String(" + text + u")";
    else if (!text.empty() && text.front() == u'@')
        text.insert(0, 1, u'@');

    std::string out;
    out.reserve(text.size() * 3 / 2);
    bool needsQuotes = false;
    // After a numeric escape a following hex digit would read as part of it.
    bool escapeNextIfDigit = false;
    for (std::size_t i = 0; i < text.size();) {
        const char16_t ch = text[i];
        if (ch == u';' || ch == u',' || ch == u'=')
            needsQuotes = true;
        if (escapeNextIfDigit && hexValue(ch) >= 0) {
            out += "\\x" + lowerHex(ch);
            ++i;
            continue;
        }
        escapeNextIfDigit = false;
        switch (ch) {
        case u'\0':
            out += "\\0";
            escapeNextIfDigit = true;
            break;
        case u'\a':
            out += "\\a";
            break;
        case u'\b':
            out += "\\b";
            break;
        case u'\f':
            out += "\\f";
            break;
        case u'\n':
            out += "\\n";
            break;
        case u'\r':
            out += "\\r";
            break;
        case u'\t':
            out += "\\t";
            break;
        case u'\v':
            out += "\\v";
            break;
        case u'"':
        case u'\\':
            out += '\\';
            out += char(ch);
            break;
        default:
            if (ch <= 0x1F) {
                out += "\\x" + lowerHex(ch);
                escapeNextIfDigit = true;
            } else {
                std::size_t next = i;
                appendUtf8(out, nextCodePoint(text, &next));
                i = next;
                continue;
            }
        }
        ++i;
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' ')))
        out = '"' + out + '"';
    return out;
}

IniDocument::Value IniDocument::parsedValue(std::string_view raw)
{
    Value result;
    std::u16string text;
    std::vector<std::u16string> list;
    if (unescapedStringList(raw, text, list)) {
        for (std::u16string &element : list) {
            if (!element.empty() && element.front() == u'@') {
                // "@@..." is text starting with '@'; anything else marks a typed value.
                if (element.size() < 2 || element[1] != u'@') {
                    result.kind = Value::Kind::Other;
                    return result;
                }
                element.erase(0, 1);
            }
        }
        result.kind = Value::Kind::List;
        result.list = std::move(list);
        return result;
    }

    if (!text.empty() && text.front() == u'@') {
        if (text.back() == u')') {
            if (startsWith(text, u"@ByteArray(")) {
                // Bytes, which read back as UTF-8; each unit keeps its low byte.
                std::string bytes;
                for (std::size_t i = 11; i + 1 < text.size(); ++i)
                    bytes += text[i] <= 0xFF ? char(text[i]) : '?';
                result.text = fromUtf8(bytes);
                return result;
            }
            if (startsWith(text, u"@String(")) {
                result.text = text.substr(8, text.size() - 9);
                return result;
            }
            if (startsWith(text, u"@Variant(") || startsWith(text, u"@DateTime(") ||
                startsWith(text, u"@Rect(") || startsWith(text, u"@Size(") ||
                startsWith(text, u"@Point(")) {
                result.kind = Value::Kind::Other;
                return result;
            }
            if (text == u"@Invalid()") {
                result.kind = Value::Kind::Invalid;
                return result;
            }
        }
        if (startsWith(text, u"@@")) {
            result.text = text.substr(1);
            return result;
        }
    }
    result.text = std::move(text);
    return result;
}

std::string IniDocument::escapedKey(const std::u16string &key)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char16_t ch : key) {
        if (ch == u'/') {
            out += '\\';
        } else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                   (ch >= '0' && ch <= '9') || ch == '_' || ch == '-' || ch == '.') {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            out += digits[ch / 16];
            out += digits[ch % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += digits[(ch >> shift) & 0xF];
        }
    }
    return out;
}

std::u16string IniDocument::unescapedKey(std::string_view key)
{
    const std::u16string decoded = fromUtf8(key);
    std::u16string out;
    out.reserve(decoded.size());
    const std::size_t size = decoded.size();
    std::size_t i = 0;
    while (i < size) {
        const char16_t ch = decoded[i];
        if (ch == u'\\') {
            out += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == size - 1) {
            out += ch;
            ++i;
            continue;
        }
        std::size_t firstDigit = i + 1;
        std::size_t digitCount = 2;
        if (decoded[i + 1] == u'U') {
            ++firstDigit;
            digitCount = 4;
        }
        if (firstDigit + digitCount > size) {
            out += u'%';
            ++i;
            continue;
        }
        unsigned value = 0;
        bool ok = true;
        for (std::size_t k = firstDigit; k < firstDigit + digitCount; ++k) {
            const int digit = hexValue(decoded[k]);
            ok = ok && digit >= 0;
            value = value * 16 + unsigned(std::max(digit, 0));
        }
        if (!ok) {
            out += u'%';
            ++i;
            continue;
        }
        out += char16_t(value);
        i = firstDigit + digitCount;
    }
    return out;
}
