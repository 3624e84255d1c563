#ifndef TAVRIN_UPDATE_HTTPANSWER_H
#define TAVRIN_UPDATE_HTTPANSWER_H

#include <cstddef>
#include <string>
#include <string_view>

// What the fetch reads off a final HTTP answer besides its status word:
// whether it sends the request on, and how to show its body.
namespace HttpAnswer {
// 301, 302, 303, 307 and 308: the answer names another URL to fetch.
constexpr bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The media type of a Content-Type value, lower-cased, without parameters.
std::string mediaType(std::string_view contentType);
// Its charset parameter, unquoted and as given; empty when there is none.
std::string charset(std::string_view contentType);
// An HTML page: said so by its type, or starting (after a byte order mark and
// blanks) with <html or <!doctype in any case.
bool isHtml(std::string_view contentType, std::string_view body);

constexpr std::size_t MaxShownChars = 64 * 1024;
// What the answer area shows of a (decoded) body: UTF-8 text of at most
// MaxShownChars code points, an HTML page as its readable text. The charset
// is the type's, else an HTML page's <meta>, else UTF-8; of the others only
// ISO-8859-1, -15, windows-1252 and US-ASCII are known. Bytes that are no
// UTF-8 show as U+FFFD.
std::string shownText(std::string_view contentType, std::string_view body);
} // namespace HttpAnswer

#endif
