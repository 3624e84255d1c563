#include "update/HtmlText.h"

#include "base/AsciiText.h"
#include "base/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

using AsciiText::hexValue;
using AsciiText::lower;

constexpr char32_t Replacement = 0xFFFD;
// Longer names are no references we know; scanning stops there.
constexpr std::size_t LongestEntityName = 10;

struct NamedEntity
{
    std::string_view name;
    char32_t code;
};

// Sorted by name for the binary search.
constexpr std::array<NamedEntity, 48> NamedEntities = {{
    {"AElig", 0xC6},   {"Auml", 0xC4},     {"Ouml", 0xD6},    {"Uuml", 0xDC},   {"aacute", 0xE1},
    {"acute", 0xB4},   {"aelig", 0xE6},    {"agrave", 0xE0},  {"amp", '&'},     {"apos", '\''},
    {"auml", 0xE4},    {"bull", 0x2022},   {"ccedil", 0xE7},  {"cent", 0xA2},   {"copy", 0xA9},
    {"deg", 0xB0},     {"divide", 0xF7},   {"eacute", 0xE9},  {"egrave", 0xE8}, {"euro", 0x20AC},
    {"gt", '>'},       {"hellip", 0x2026}, {"iacute", 0xED},  {"laquo", 0xAB},  {"ldquo", 0x201C},
    {"lsquo", 0x2018}, {"lt", '<'},        {"mdash", 0x2014}, {"middot", 0xB7}, {"nbsp", 0xA0},
    {"ndash", 0x2013}, {"oacute", 0xF3},   {"ouml", 0xF6},    {"para", 0xB6},   {"pound", 0xA3},
    {"quot", '"'},     {"raquo", 0xBB},    {"rdquo", 0x201D}, {"reg", 0xAE},    {"rsquo", 0x2019},
    {"sect", 0xA7},    {"shy", 0xAD},      {"szlig", 0xDF},   {"times", 0xD7},  {"trade", 0x2122},
    {"uacute", 0xFA},  {"uuml", 0xFC},     {"yen", 0xA5},
}};

// Elements whose start or end begins a new line.
constexpr std::array<std::string_view, 33> BlockElements = {
    "address", "article", "aside",    "blockquote", "body",   "br",   "caption", "dd",   "div",
    "dl",      "dt",      "fieldset", "figure",     "footer", "form", "h1",      "h2",   "h3",
    "h4",      "h5",      "h6",       "header",     "hr",     "html", "li",      "main", "nav",
    "ol",      "p",       "pre",      "section",    "table",  "tr"};

// Elements whose contents are not text for the reader.
constexpr std::array<std::string_view, 3> HiddenElements = {"script", "style", "title"};

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix)
{
    if (text.size() - at < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(text[at + i]) != prefix[i])
            return false;
    }
    return true;
}

template <std::size_t N>
bool contains(const std::array<std::string_view, N> &names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Collects the output: folds white space, keeps line breaks single and counts
// code points against the cap.
class TextSink
{
public:
    explicit TextSink(std::size_t maxChars) : m_maxChars(maxChars) {}

    bool full() const { return m_chars >= m_maxChars; }

    void space() { m_pendingSpace = true; }

    // A block boundary: a new line unless one was just begun.
    void lineBreak(bool always)
    {
        m_pendingSpace = false;
        if (m_text.empty() || (!always && m_text.back() == '\n'))
            return;
        append('\n');
    }

    // One byte of UTF-8 text; continuation bytes are not counted.
    void byte(char c)
    {
        if (isContinuation(c)) {
            if (m_dropping)
                return;
            m_text.push_back(c);
            return;
        }
        flushSpace();
        append(c);
    }

    void codePoint(char32_t code)
    {
        if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            code = Replacement;
        if (code == 0xAD)
            return; // a soft hyphen shows only where a line is broken
        std::string bytes;
        Utf8::append(bytes, code);
        for (char c : bytes)
            byte(c);
    }

    std::string take()
    {
        while (!m_text.empty() && (m_text.back() == ' ' || m_text.back() == '\n'))
            m_text.pop_back();
        return std::move(m_text);
    }

private:
    void flushSpace()
    {
        if (m_pendingSpace && !m_text.empty() && m_text.back() != '\n' && m_text.back() != ' ')
            append(' ');
        m_pendingSpace = false;
    }

    void append(char c)
    {
        // The code point that would pass the cap is dropped with all its bytes.
        m_dropping = full();
        if (m_dropping)
            return;
        if (c == '\n' && !m_text.empty() && m_text.back() == ' ') {
            m_text.back() = '\n';
            return;
        }
        m_text.push_back(c);
        ++m_chars;
    }

    std::string m_text;
    std::size_t m_maxChars;
    std::size_t m_chars = 0;
    bool m_pendingSpace = false;
    bool m_dropping = false;
};

class Extractor
{
public:
    Extractor(std::string_view html, std::size_t maxChars) : m_in(html), m_out(maxChars) {}

    std::string run()
    {
        while (m_pos < m_in.size() && !stopsHere()) {
            const char c = m_in[m_pos];
            if (c == '<')
                markup();
            else if (c == '&')
                reference();
            else if (isSpace(c)) {
                m_out.space();
                ++m_pos;
            } else {
                if (c != '\0')
                    m_out.byte(c);
                ++m_pos;
            }
        }
        return m_out.take();
    }

private:
    // Once the output is full, the rest of a code point already begun still goes in.
    bool stopsHere() const { return m_out.full() && !isContinuation(m_in[m_pos]); }

    // Moves past the first occurrence of end, or to the end of the input.
    void skipPast(std::string_view end)
    {
        const std::size_t found = m_in.find(end, m_pos);
        m_pos = found == std::string_view::npos ? m_in.size() : found + end.size();
    }

    void markup()
    {
        const std::size_t start = m_pos;
        const char next = start + 1 < m_in.size() ? m_in[start + 1] : '\0';
        if (m_in.compare(start, 4, "<!--") == 0) {
            m_pos = start + 4;
            skipPast("-->");
            return;
        }
        if (m_in.compare(start, 9, "<![CDATA[") == 0) {
            m_pos = start + 9;
            const std::size_t end = std::min(m_in.find("]]>", m_pos), m_in.size());
            for (; m_pos < end && !stopsHere(); ++m_pos) {
                if (isSpace(m_in[m_pos]))
                    m_out.space();
                else if (m_in[m_pos] != '\0')
                    m_out.byte(m_in[m_pos]);
            }
            m_pos = std::min(end + 3, m_in.size());
            return;
        }
        if (next == '!' || next == '?') {
            // Doctype, processing instruction or a bogus comment.
            m_pos = start + 2;
            skipPast(">");
            return;
        }
        const bool closing = next == '/';
        const std::size_t nameStart = start + (closing ? 2 : 1);
        if (nameStart >= m_in.size() || !AsciiText::isLetter(m_in[nameStart])) {
            // Not a tag: a '<' in the text.
            m_out.byte('<');
            m_pos = start + 1;
            return;
        }
        std::size_t nameEnd = nameStart;
        std::string name;
        while (nameEnd < m_in.size() &&
               (AsciiText::isLetter(m_in[nameEnd]) || AsciiText::isDigit(m_in[nameEnd]) ||
                m_in[nameEnd] == '-' || m_in[nameEnd] == ':')) {
            if (name.size() < 16)
                name.push_back(lower(m_in[nameEnd]));
            ++nameEnd;
        }
        m_pos = nameEnd;
        skipAttributes();

        if (name == "td" || name == "th")
            m_out.space();
        else if (contains(BlockElements, name))
            m_out.lineBreak(name == "br" && !closing);
        if (!closing && contains(HiddenElements, name))
            skipHiddenContents(name);
    }

    // Attributes are never shown; a quoted '>' does not end the tag.
    void skipAttributes()
    {
        char quote = '\0';
        while (m_pos < m_in.size()) {
            const char c = m_in[m_pos++];
            if (quote != '\0') {
                if (c == quote)
                    quote = '\0';
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return;
            }
        }
    }

    // Up to and including the matching end tag, or to the end of the input.
    void skipHiddenContents(const std::string &name)
    {
        while (m_pos < m_in.size()) {
            const std::size_t found = m_in.find("</", m_pos);
            if (found == std::string_view::npos) {
                m_pos = m_in.size();
                return;
            }
            const std::size_t after = found + 2 + name.size();
            if (startsWithNoCase(m_in, found + 2, name) &&
                (after >= m_in.size() || isSpace(m_in[after]) || m_in[after] == '>' ||
                 m_in[after] == '/')) {
                m_pos = after;
                skipAttributes();
                return;
            }
            m_pos = found + 2;
        }
    }

    void reference()
    {
        const std::size_t start = m_pos;
        std::size_t p = start + 1;
        if (p < m_in.size() && m_in[p] == '#') {
            ++p;
            const bool hex = p < m_in.size() && (m_in[p] == 'x' || m_in[p] == 'X');
            if (hex)
                ++p;
            const std::size_t digitsStart = p;
            std::uint32_t value = 0;
            for (; p < m_in.size(); ++p) {
                const int digit =
                    hex ? hexValue(m_in[p]) : (AsciiText::isDigit(m_in[p]) ? m_in[p] - '0' : -1);
                if (digit < 0)
                    break;
                // Past the last code point the value only needs to stay out of range.
                if (value <= 0x10FFFF)
                    value = value * (hex ? 16 : 10) + std::uint32_t(digit);
            }
            if (p == digitsStart) {
                literalAmpersand();
                return;
            }
            if (p < m_in.size() && m_in[p] == ';')
                ++p;
            m_out.codePoint(value);
            m_pos = p;
            return;
        }
        while (p < m_in.size() && p - start - 1 < LongestEntityName &&
               (AsciiText::isLetter(m_in[p]) || AsciiText::isDigit(m_in[p])))
            ++p;
        if (p == start + 1 || p >= m_in.size() || m_in[p] != ';') {
            literalAmpersand();
            return;
        }
        const std::string_view name = m_in.substr(start + 1, p - start - 1);
        const auto found = std::lower_bound(
            NamedEntities.begin(), NamedEntities.end(), name,
            [](const NamedEntity &entity, std::string_view key) { return entity.name < key; });
        if (found == NamedEntities.end() || found->name != name) {
            literalAmpersand();
            return;
        }
        m_out.codePoint(found->code);
        m_pos = p + 1;
    }

    void literalAmpersand()
    {
        m_out.byte('&');
        ++m_pos;
    }

    std::string_view m_in;
    std::size_t m_pos = 0;
    TextSink m_out;
};

} // namespace

std::string HtmlText::readableText(std::string_view html, std::size_t maxChars)
{
    return Extractor(html, maxChars).run();
}
