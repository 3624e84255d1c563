#ifndef TAVRIN_TRAY_TRAYICONRECORD_H
#define TAVRIN_TRAY_TRAYICONRECORD_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The fixed 88-byte record that describes the program's one tray icon. It is
// rebuilt in full for every tray call; the byte layout is little-endian with a
// 64-byte ANSI (Latin-1) tip text that ends at its first NUL and is padded with
// blanks.
struct TrayIconRecord
{
    static constexpr int Size = 88;
    static constexpr int TipSize = 64;
    using Bytes = std::array<std::uint8_t, Size>;

    // uFlags bits: which of the fields below carry a value.
    static constexpr std::uint32_t MessageFlag = 1;
    static constexpr std::uint32_t IconFlag = 2;
    static constexpr std::uint32_t TipFlag = 4;

    std::uint32_t cbSize = 0;
    std::uint32_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uint32_t hIcon = 0;
    std::string szTip; // TipSize Latin-1 bytes once built by make() or fromBytes()

    // The record of the program's icon for the given window and picture.
    static TrayIconRecord make(std::uint32_t windowHandle, std::uint32_t iconHandle);

    // Exactly Size bytes in the layout described above.
    Bytes toBytes() const;

    // The inverse of toBytes(); a block of the wrong size gives a record with cbSize 0.
    static TrayIconRecord fromBytes(const std::uint8_t *data, std::size_t size);
    static TrayIconRecord fromBytes(const Bytes &bytes) { return fromBytes(bytes.data(), Size); }

    // The tip up to its terminating NUL, without the padding, as UTF-8.
    std::string tipText() const;

    // A tip field holding UTF-8 text as Latin-1 (a character outside it becomes
    // '?'), a NUL and blanks up to TipSize; longer text is cut.
    static std::string tipField(std::string_view text);
};

#endif
