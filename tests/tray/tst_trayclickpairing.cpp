#include "tray/MouseMessage.h"
#include "tray/TrayClickPairing.h"

#include "FakeEngineParts.h"
#include "ParamName.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

namespace {

constexpr std::int64_t IntervalMs = 400;
constexpr int Up = MouseMessage::LeftButtonUp;
constexpr int Double = MouseMessage::LeftButtonDoubleClick;
constexpr int Move = 512;
constexpr int RightDown = 516;
constexpr int MiddleUp = 520;

// One message from the tray, this long after the one before.
struct Report
{
    std::int64_t afterMs;
    int message;
};

struct Case
{
    const char *name;
    std::vector<Report> reports;
    std::vector<int> passedOn; // everything passed on, in order
};

std::ostream &operator<<(std::ostream &out, const Case &c)
{
    return out << c.name;
}

class TrayClickPairingTest : public testing::TestWithParam<Case>
{
};

TEST_P(TrayClickPairingTest, PassesOn)
{
    const Case &c = GetParam();
    DrivenClock clock;
    TrayClickPairing pairing(clock, IntervalMs);
    std::vector<int> passedOn;
    for (const Report &report : c.reports) {
        clock.ms += report.afterMs;
        for (int message : pairing.messagesFor(report.message))
            passedOn.push_back(message);
    }
    EXPECT_EQ(passedOn, c.passedOn);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, TrayClickPairingTest,
    testing::Values(
        Case{"single click", {{0, Up}}, {Up}},
        Case{"two clicks within the interval", {{0, Up}, {250, Up}}, {Up, Up, Double}},
        Case{"two clicks just within", {{0, Up}, {399, Up}}, {Up, Up, Double}},
        Case{"two clicks at the interval", {{0, Up}, {400, Up}}, {Up, Up}},
        Case{"two clicks far apart", {{0, Up}, {2000, Up}}, {Up, Up}},
        Case{"triple click is one double click",
             {{0, Up}, {150, Up}, {150, Up}},
             {Up, Up, Double, Up}},
        Case{"four quick clicks are two",
             {{0, Up}, {100, Up}, {100, Up}, {100, Up}},
             {Up, Up, Double, Up, Up, Double}},
        Case{"late click pairs with the next",
             {{0, Up}, {500, Up}, {200, Up}},
             {Up, Up, Up, Double}},
        Case{"pointer moving between clicks",
             {{0, Up}, {100, Move}, {100, Up}},
             {Up, Move, Up, Double}},
        Case{"right press between clicks",
             {{0, Up}, {100, RightDown}, {100, Up}},
             {Up, RightDown, Up}},
        Case{"middle click between clicks",
             {{0, Up}, {100, MiddleUp}, {100, Up}},
             {Up, MiddleUp, Up}},
        // Trays that report the double click itself.
        Case{"real double click after its first click", {{0, Up}, {200, Double}}, {Up, Double}},
        Case{"real double click alone", {{0, Double}}, {Double}},
        Case{"real double click after both its clicks",
             {{0, Up}, {200, Up}, {0, Double}},
             {Up, Up, Double}},
        Case{"next double click after a real one",
             {{0, Up}, {200, Up}, {0, Double}, {1000, Up}, {200, Up}, {0, Double}},
             {Up, Up, Double, Up, Up, Double}},
        Case{"real double click long after a pair",
             {{0, Up}, {200, Up}, {800, Double}},
             {Up, Up, Double, Double}},
        Case{"first click after a real double click waits for a second",
             {{0, Up}, {200, Double}, {100, Up}},
             {Up, Double, Up}}),
    paramName<Case>);

TEST(TrayClickPairing, ANewClockForgetsTheFirstClick)
{
    DrivenClock first;
    DrivenClock second;
    second.ms = first.ms;
    TrayClickPairing pairing(first, IntervalMs);
    pairing.messagesFor(Up);
    pairing.setClock(second);
    EXPECT_EQ(pairing.messagesFor(Up), std::vector<int>{Up});
    EXPECT_EQ(pairing.messagesFor(Up), (std::vector<int>{Up, Double}));
}

} // namespace
