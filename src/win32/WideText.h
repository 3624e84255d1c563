#ifndef TAVRIN_WIN32_WIDETEXT_H
#define TAVRIN_WIN32_WIDETEXT_H

#include <optional>
#include <string>
#include <string_view>

// Between the core's UTF-8 and the wide (UTF-16) text of the Win32 API.
namespace WideText {
// Invalid input never fails: it becomes U+FFFD.
std::wstring fromUtf8(std::string_view utf8);
// Nothing for text that is no valid UTF-8, where a replacement would change what is stored.
std::optional<std::wstring> fromUtf8Strict(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::wstring_view wide);
} // namespace WideText

#endif
