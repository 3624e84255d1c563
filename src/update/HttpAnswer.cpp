#include "update/HttpAnswer.h"

#include "base/AsciiText.h"
#include "base/Utf8.h"
#include "update/HtmlText.h"

namespace {

// Valid UTF-8 of at most maxChars code points.
std::string fromUtf8(std::string_view text, std::size_t maxChars)
{
    std::string out;
    for (std::size_t i = 0, chars = 0; i < text.size() && chars < maxChars; ++chars) {
        const Utf8::CodePoint c = Utf8::decode(text, i);
        Utf8::append(out, c.value == Utf8::Invalid ? 0xFFFD : c.value);
        i += c.length;
    }
    return out;
}

// windows-1252's characters at 0x80 to 0x9F (0 where it has none).
constexpr char16_t Windows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// A single-byte charset's character, or 0 for a charset that is none of these.
char32_t singleByte(const std::string &charset, unsigned char byte)
{
    const bool latin1 = charset == "iso-8859-1" || charset == "iso8859-1" || charset == "latin1" ||
                        charset == "us-ascii";
    if (charset == "windows-1252" || charset == "cp1252")
        return byte >= 0x80 && byte < 0xA0 && Windows1252[byte - 0x80] ? Windows1252[byte - 0x80]
                                                                       : char32_t(byte);
    if (charset == "iso-8859-15" || charset == "latin-9") {
        constexpr std::string_view From = "\xA4\xA6\xA8\xB4\xB8\xBC\xBD\xBE";
        constexpr char16_t To[] = {0x20AC, 0x160, 0x161, 0x17D, 0x17E, 0x152, 0x153, 0x178};
        const std::size_t at = From.find(char(byte));
        return at == std::string_view::npos ? char32_t(byte) : To[at];
    }
    return latin1 ? char32_t(byte) : 0;
}

// The charset a page names in a <meta> near its start ("" for none).
std::string metaCharset(std::string_view body)
{
    const std::string head = AsciiText::lowered(body.substr(0, 1024));
    for (std::size_t meta = head.find("<meta"); meta != std::string::npos;
         meta = head.find("<meta", meta + 5)) {
        const std::size_t at = head.find("charset=", meta);
        if (at == std::string::npos || at > head.find('>', meta))
            continue;
        std::size_t from = at + 8;
        while (from < head.size() && (head[from] == '"' || head[from] == '\''))
            ++from;
        const std::size_t to = head.find_first_of("\"' ;/>", from);
        return head.substr(from, to == std::string::npos ? std::string::npos : to - from);
    }
    return std::string();
}

} // namespace

std::string HttpAnswer::mediaType(std::string_view contentType)
{
    return AsciiText::lowered(AsciiText::trimmed(contentType.substr(0, contentType.find(';'))));
}

std::string HttpAnswer::charset(std::string_view contentType)
{
    std::size_t start = contentType.find(';');
    while (start != std::string_view::npos) {
        const std::size_t next = contentType.find(';', start + 1);
        const std::string_view parameter = AsciiText::trimmed(contentType.substr(
            start + 1, next == std::string_view::npos ? std::string_view::npos : next - start - 1));
        if (AsciiText::sameNoCase(parameter.substr(0, 8), "charset=")) {
            std::string_view value = AsciiText::trimmed(parameter.substr(8));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return std::string(value);
        }
        start = next;
    }
    return std::string();
}

bool HttpAnswer::isHtml(std::string_view contentType, std::string_view body)
{
    const std::string type = mediaType(contentType);
    if (type == "text/html" || type == "application/xhtml+xml")
        return true;
    if (body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    while (!body.empty() && AsciiText::isBlank(body.front()))
        body.remove_prefix(1);
    const std::string head = AsciiText::lowered(body.substr(0, 9));
    return head.compare(0, 5, "<html") == 0 || head.compare(0, 9, "<!doctype") == 0;
}

std::string HttpAnswer::shownText(std::string_view contentType, std::string_view body)
{
    const bool html = isHtml(contentType, body);
    std::string charset = AsciiText::lowered(HttpAnswer::charset(contentType));
    if (charset.empty() && html)
        charset = metaCharset(body);
    std::string text;
    if (singleByte(charset, 'a') != 0) {
        for (std::size_t i = 0; i < body.size() && i < MaxShownChars; ++i)
            Utf8::append(text, singleByte(charset, static_cast<unsigned char>(body[i])));
    } else {
        text = fromUtf8(body, MaxShownChars);
    }
    return html ? HtmlText::readableText(text, MaxShownChars) : text;
}
