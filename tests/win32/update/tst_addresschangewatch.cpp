#include "win32/update/AddressChangeWatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
// Runs the thread's messages until the watch has asked the probe `asked` times.
void pumpUntil(const int &probed, int asked)
{
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (probed < asked && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

struct Changes
{
    const char *name;
    std::vector<bool> reachable; // at start, then after each change
    int returns;
};

class AddressChanges : public testing::TestWithParam<Changes>
{
};

// Only a change from unreachable to reachable is a return.
TEST_P(AddressChanges, ReportEachReturnOnce)
{
    const std::vector<bool> &states = GetParam().reachable;
    int probed = 0;
    int returns = 0;
    AddressChangeWatch watch([&returns] { ++returns; },
                             [&] { return states[std::size_t(probed++)]; });
    for (std::size_t change = 1; change < states.size(); ++change) {
        SetEvent(watch.changeEvent());
        pumpUntil(probed, int(change) + 1);
        ASSERT_EQ(probed, int(change) + 1) << "change " << change << " was not seen";
    }
    EXPECT_EQ(returns, GetParam().returns);
    EXPECT_EQ(watch.reachable(), states.back());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, AddressChanges,
    testing::Values(Changes{"cableBack", {false, true}, 1},
                    Changes{"stillUp", {true, true, true}, 0},
                    Changes{"downAndBackTwice", {true, false, true, false, true}, 2},
                    Changes{"staysDown", {false, false}, 0}, Changes{"goesDown", {true, false}, 0}),
    [](const testing::TestParamInfo<Changes> &info) { return std::string(info.param.name); });
} // namespace
