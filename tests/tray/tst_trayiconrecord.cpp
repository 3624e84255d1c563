#include "tray/TrayIconRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::uint32_t wordAt(const TrayIconRecord::Bytes &bytes, int offset)
{
    return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8 |
           std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

// The bytes from offset to the end, or count of them, as a string for comparison.
std::string bytesAt(const TrayIconRecord::Bytes &bytes, int offset, int count = -1)
{
    const int length = count < 0 ? TrayIconRecord::Size - offset : count;
    return std::string(bytes.begin() + offset, bytes.begin() + offset + length);
}

TEST(TrayIconRecord, LayoutOfMadeRecord)
{
    const TrayIconRecord::Bytes bytes = TrayIconRecord::make(0x11223344, 0xA1B2C3D4).toBytes();

    EXPECT_EQ(bytes.size(), 88u);
    EXPECT_EQ(wordAt(bytes, 0), 88u);
    EXPECT_EQ(bytesAt(bytes, 4, 4), std::string("\x44\x33\x22\x11", 4));
    EXPECT_EQ(wordAt(bytes, 8), 2u);
    EXPECT_EQ(wordAt(bytes, 12), 7u);
    EXPECT_EQ(wordAt(bytes, 16), 512u);
    EXPECT_EQ(bytesAt(bytes, 20, 4), std::string("\xD4\xC3\xB2\xA1", 4));
    EXPECT_EQ(bytesAt(bytes, 24, 22), "KORLA Tavrin Connector");
    EXPECT_EQ(bytes[46], '\0');
    EXPECT_EQ(bytesAt(bytes, 47), std::string(41, ' '));
}

struct TipCase
{
    std::string text;  // UTF-8
    std::string field; // Latin-1 bytes
    std::string tipText;
};

class TipField : public testing::TestWithParam<TipCase>
{
};

TEST_P(TipField, RoundTrip)
{
    const TipCase &c = GetParam();
    TrayIconRecord record = TrayIconRecord::make(1, 2);
    record.szTip = TrayIconRecord::tipField(c.text);

    EXPECT_EQ(record.szTip, c.field);
    EXPECT_EQ(bytesAt(record.toBytes(), 24), c.field);
    EXPECT_EQ(record.tipText(), c.tipText);
    EXPECT_EQ(TrayIconRecord::fromBytes(record.toBytes()).tipText(), c.tipText);
}

INSTANTIATE_TEST_SUITE_P(
    TrayIconRecord, TipField,
    testing::Values(TipCase{"KORLA Tavrin Connector",
                            "KORLA Tavrin Connector" + std::string(1, '\0') + std::string(41, ' '),
                            "KORLA Tavrin Connector"},
                    // 63 chars keep the NUL, no blanks; 64 lose the NUL; longer text is cut.
                    TipCase{std::string(63, 'x'), std::string(63, 'x') + std::string(1, '\0'),
                            std::string(63, 'x')},
                    TipCase{std::string(64, 'x'), std::string(64, 'x'), std::string(64, 'x')},
                    TipCase{std::string(70, 'y'), std::string(64, 'y'), std::string(64, 'y')},
                    TipCase{"", std::string(1, '\0') + std::string(63, ' '), ""},
                    // Latin-1 in the field, UTF-8 outside; what Latin-1 lacks becomes '?'.
                    TipCase{"Grüße €",
                            "Gr\xfc\xdf"
                            "e ?" +
                                std::string(1, '\0') + std::string(56, ' '),
                            "Grüße ?"},
                    TipCase{"a\U0001F600b", "a??b" + std::string(1, '\0') + std::string(59, ' '),
                            "a??b"}));

TEST(TrayIconRecord, FromBytesInvertsToBytes)
{
    const TrayIconRecord original = TrayIconRecord::make(0xFFFFFFFE, 0x80000001);
    const TrayIconRecord copy = TrayIconRecord::fromBytes(original.toBytes());

    EXPECT_EQ(copy.cbSize, 88u);
    EXPECT_EQ(copy.hWnd, 0xFFFFFFFEu);
    EXPECT_EQ(copy.uID, 2u);
    EXPECT_EQ(copy.uFlags, 7u);
    EXPECT_EQ(copy.uCallbackMessage, 512u);
    EXPECT_EQ(copy.hIcon, 0x80000001u);
    EXPECT_EQ(copy.szTip, original.szTip);
    EXPECT_EQ(copy.toBytes(), original.toBytes());
}

class FromBytesWrongSize : public testing::TestWithParam<std::size_t>
{
};

TEST_P(FromBytesWrongSize, GivesEmptyRecord)
{
    const TrayIconRecord::Bytes made = TrayIconRecord::make(3, 4).toBytes();
    std::vector<std::uint8_t> bytes(made.begin(), made.end());
    bytes.resize(GetParam(), 'z');
    EXPECT_EQ(TrayIconRecord::fromBytes(bytes.data(), bytes.size()).cbSize, 0u);
}

INSTANTIATE_TEST_SUITE_P(TrayIconRecord, FromBytesWrongSize, testing::Values(0u, 87u, 89u));

} // namespace
