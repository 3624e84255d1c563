#ifndef TAVRIN_UPDATE_HTTPANSWER_H
#define TAVRIN_UPDATE_HTTPANSWER_H

#include <string>
#include <string_view>

// What the request channels read off a final HTTP answer besides its status
// word: whether it sends the request on, and how to show its body.
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
} // namespace HttpAnswer

#endif
