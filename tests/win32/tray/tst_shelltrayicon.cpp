#include "win32/tray/ShellTrayIcon.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace {
TEST(ShellTrayIcon, RecordIsTheFirstFormOfThePlatformRecord)
{
    EXPECT_EQ(ShellTrayIcon::RecordSize, NOTIFYICONDATAA_V1_SIZE);
    EXPECT_EQ(ShellTrayIcon::RecordSize,
              offsetof(NOTIFYICONDATAA, szTip) + TrayIconRecord::TipSize);
}

// Window and icon handles of both halves of the 32-bit range.
class PlatformRecord : public testing::TestWithParam<std::uint32_t>
{
};

TEST_P(PlatformRecord, CarriesTheRecordsValues)
{
    const std::uint32_t handle = GetParam();
    const TrayIconRecord record = TrayIconRecord::make(handle, handle ^ 0x00ff00ffu);
    const NOTIFYICONDATAA data = ShellTrayIcon::platformRecord(record);
    EXPECT_EQ(data.cbSize, ShellTrayIcon::RecordSize);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data.hWnd), handle);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data.hIcon), handle ^ 0x00ff00ffu);
    EXPECT_EQ(data.uID, 2u);
    EXPECT_EQ(data.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(data.uCallbackMessage, UINT(WM_MOUSEMOVE));
    EXPECT_STREQ(data.szTip, "KORLA Tavrin Connector");
    // The rest of the tip field as the record holds it: blanks, ending in a NUL.
    const std::string tail(data.szTip + 23, data.szTip + TrayIconRecord::TipSize - 1);
    EXPECT_EQ(tail, std::string(TrayIconRecord::TipSize - 24, ' '));
    EXPECT_EQ(data.szTip[TrayIconRecord::TipSize - 1], '\0');
}

INSTANTIATE_TEST_SUITE_P(Handles, PlatformRecord,
                         testing::Values(0x00010010u, 0x7fffffffu, 0x80000004u, 0u));

} // namespace
