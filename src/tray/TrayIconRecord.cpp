#include "tray/TrayIconRecord.h"

#include "base/Utf8.h"
#include "tray/MouseMessage.h"

#include <algorithm>

namespace {

constexpr std::uint32_t IconId = 2;
// Mouse messages arrive as "mouse move" with the message number in X.
constexpr std::uint32_t CallbackMessage = MouseMessage::Move;
constexpr std::string_view TipText = "KORLA Tavrin Connector";

void putWord(std::uint8_t *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t getWord(const std::uint8_t *at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
           std::uint32_t(at[3]) << 24;
}

// UTF-8 to Latin-1: a code point above U+00FF becomes '?' (one beyond U+FFFF
// "??", one per UTF-16 unit, as the platform's own conversion does), and so
// does each malformed byte.
std::string toLatin1(std::string_view text)
{
    std::string latin1;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8::CodePoint c = Utf8::decode(text, at);
        if (c.value < 0x100)
            latin1.push_back(static_cast<char>(c.value));
        else
            latin1.append(c.value >= 0x10000 && c.value != Utf8::Invalid ? "??" : "?");
        at += c.length;
    }
    return latin1;
}

std::string fromLatin1(std::string_view latin1)
{
    std::string text;
    for (const char c : latin1)
        Utf8::append(text, static_cast<unsigned char>(c));
    return text;
}
} // namespace

TrayIconRecord TrayIconRecord::make(std::uint32_t windowHandle, std::uint32_t iconHandle)
{
    TrayIconRecord record;
    record.cbSize = Size;
    record.hWnd = windowHandle;
    record.uID = IconId;
    record.uFlags = MessageFlag | IconFlag | TipFlag;
    record.uCallbackMessage = CallbackMessage;
    record.hIcon = iconHandle;
    record.szTip = tipField(TipText);
    return record;
}

std::string TrayIconRecord::tipField(std::string_view text)
{
    std::string field = toLatin1(text);
    field.push_back('\0');
    // A fixed-length text field is filled with blanks after its content.
    field.resize(TipSize, ' ');
    return field;
}

TrayIconRecord::Bytes TrayIconRecord::toBytes() const
{
    Bytes bytes{};
    std::uint8_t *data = bytes.data();
    putWord(data + 0, cbSize);
    putWord(data + 4, hWnd);
    putWord(data + 8, uID);
    putWord(data + 12, uFlags);
    putWord(data + 16, uCallbackMessage);
    putWord(data + 20, hIcon);
    // A tip shorter than the field (only in a record not built by make) leaves NULs.
    const std::size_t tipLength = std::min<std::size_t>(szTip.size(), TipSize);
    std::copy_n(szTip.data(), tipLength, data + 24);
    return bytes;
}

TrayIconRecord TrayIconRecord::fromBytes(const std::uint8_t *data, std::size_t size)
{
    TrayIconRecord record;
    if (size != Size)
        return record;
    record.cbSize = getWord(data + 0);
    record.hWnd = getWord(data + 4);
    record.uID = getWord(data + 8);
    record.uFlags = getWord(data + 12);
    record.uCallbackMessage = getWord(data + 16);
    record.hIcon = getWord(data + 20);
    record.szTip.assign(reinterpret_cast<const char *>(data + 24), TipSize);
    return record;
}

std::string TrayIconRecord::tipText() const
{
    const std::string_view tip = szTip;
    const std::size_t end = tip.find('\0');
    if (end != std::string_view::npos)
        return fromLatin1(tip.substr(0, end));
    // A tip that fills the whole field has no NUL; only its padding is dropped.
    std::size_t length = tip.size();
    while (length > 0 && tip[length - 1] == ' ')
        --length;
    return fromLatin1(tip.substr(0, length));
}
