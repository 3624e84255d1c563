#ifndef TAVRIN_WIN32_WIDETEXT_H
#define TAVRIN_WIN32_WIDETEXT_H

#include <string>
#include <string_view>

// Between the core's UTF-8 and the wide (UTF-16) text of the Win32 API. Invalid
// input never fails: it becomes U+FFFD.
namespace WideText {
std::wstring fromUtf8(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);
} // namespace WideText

#endif
