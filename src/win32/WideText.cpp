#include "win32/WideText.h"

#include <windows.h>

#include <climits>

namespace {
std::optional<std::wstring> widened(std::string_view bytes, UINT codePage, DWORD flags)
{
    if (bytes.empty())
        return std::wstring();
    if (bytes.size() > INT_MAX)
        return std::nullopt;
    const int size = int(bytes.size());
    const int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(std::size_t(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, bytes.data(), size, wide.data(), length) != length)
        return std::nullopt;
    return wide;
}
} // namespace

std::wstring WideText::fromUtf8(std::string_view utf8)
{
    return widened(utf8, CP_UTF8, 0).value_or(std::wstring());
}

std::optional<std::wstring> WideText::fromUtf8Strict(std::string_view utf8)
{
    return widened(utf8, CP_UTF8, MB_ERR_INVALID_CHARS);
}

std::string WideText::toUtf8(std::wstring_view wide)
{
    if (wide.empty() || wide.size() > INT_MAX)
        return {};
    const int size = int(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string utf8(std::size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}
