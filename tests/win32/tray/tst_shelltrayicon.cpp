#include "win32/tray/ShellTrayIcon.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

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
    EXPECT_EQ(data.uCallbackMessage, ShellTrayIcon::CallbackMessage);
    EXPECT_STREQ(data.szTip, "KORLA Tavrin Connector");
    // The rest of the tip field as the record holds it: blanks, ending in a NUL.
    const std::string tail(data.szTip + 23, data.szTip + TrayIconRecord::TipSize - 1);
    EXPECT_EQ(tail, std::string(TrayIconRecord::TipSize - 24, ' '));
    EXPECT_EQ(data.szTip[TrayIconRecord::TipSize - 1], '\0');
}

INSTANTIATE_TEST_SUITE_P(Handles, PlatformRecord,
                         testing::Values(0x00010010u, 0x7fffffffu, 0x80000004u, 0u));

// What reached the shell: the message and the record's window and icon.
std::vector<std::string> sent;
BOOL WINAPI recordNotify(DWORD message, NOTIFYICONDATAA *data)
{
    sent.push_back(std::to_string(message) + ":" +
                   std::to_string(reinterpret_cast<std::uintptr_t>(data->hWnd)) + ":" +
                   std::to_string(reinterpret_cast<std::uintptr_t>(data->hIcon)));
    return TRUE;
}

struct Restart
{
    const char *name;
    std::vector<TrayMessage> before;
    std::vector<std::string> expected; // sent by the restart
};

class ShellRestart : public testing::TestWithParam<Restart>
{
};

// A restarted Explorer has an empty notification area: the icon that was
// there is added again with the last record; none is added that was not there.
TEST_P(ShellRestart, AddsTheIconAgainOnlyIfItWasShown)
{
    sent.clear();
    ShellTrayIcon icon(recordNotify);
    std::uint32_t picture = 100;
    for (const TrayMessage message : GetParam().before)
        icon.notify(message, TrayIconRecord::make(7, picture++));
    sent.clear();
    icon.shellRestarted();
    EXPECT_EQ(sent, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ShellRestart,
    testing::Values(Restart{"never", {}, {}}, Restart{"added", {TrayMessage::Add}, {"0:7:100"}},
                    Restart{
                        "addedThenModified", {TrayMessage::Add, TrayMessage::Modify}, {"0:7:101"}},
                    Restart{"removed", {TrayMessage::Add, TrayMessage::Delete}, {}},
                    Restart{"modifiedOnly", {TrayMessage::Modify}, {}}),
    paramName<Restart>);
} // namespace
