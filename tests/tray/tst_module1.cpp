#include "tray/Module1.h"

#include "FakeTrayParts.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t wordAt(const TrayIconRecord::Bytes &bytes, int offset)
{
    return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8 |
           std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

// The tray operations hand the shell the full record, rebuilt from the window each time.
TEST(Module1, OperationsDifferOnlyInMessage)
{
    RecordingTrayShellCore shell;
    FakeTrayWindow window;
    Module1 tray(shell, window);

    tray.TrayAdd();
    tray.TrayModify();
    tray.TrayRemove();

    EXPECT_EQ(shell.messages(), (std::vector<TrayMessage>{TrayMessage::Add, TrayMessage::Modify,
                                                          TrayMessage::Delete}));
    const TrayIconRecord::Bytes expected =
        TrayIconRecord::make(window.handle, window.picture).toBytes();
    for (const RecordingTrayShellCore::Call &call : shell.calls)
        EXPECT_EQ(call.bytes, expected);
    EXPECT_EQ(tray.record().toBytes(), expected);
}

TEST(Module1, RecordFollowsWindow)
{
    RecordingTrayShellCore shell;
    FakeTrayWindow window;
    Module1 tray(shell, window);

    tray.TrayAdd();
    window.picture = 9;
    window.handle = 0x0A0B0C0D;
    tray.TrayModify();

    EXPECT_EQ(wordAt(shell.calls[0].bytes, 20), 7u);
    EXPECT_EQ(wordAt(shell.calls[1].bytes, 20), 9u);
    EXPECT_EQ(wordAt(shell.calls[1].bytes, 4), 0x0A0B0C0Du);
    EXPECT_EQ(tray.record().hIcon, 9u);
}

} // namespace
