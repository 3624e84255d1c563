#include "tray/TrayEventDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using Action = TrayEventDecoder::Action;

namespace {

struct DecodeCase
{
    int message;
    std::string runMode;
    Action action;
};

std::vector<DecodeCase> decodeCases()
{
    std::vector<DecodeCase> cases;
    for (int message : {512, 513, 514, 517, 518})
        cases.push_back({message, "/a", Action::None});
    for (const char *mode : {"", "/a", "/b"})
        cases.push_back({516, mode, Action::OpenMenu});
    cases.push_back({515, "/a", Action::RestoreWindow});
    for (const char *mode : {"", "/a"})
        cases.push_back({1029, mode, Action::ShowWindow});
    for (const char *mode : {"", "/a x", "/b", "/A", " /a"})
        cases.push_back({515, mode, Action::None});
    return cases;
}

class Decode : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(Decode, AtBothScales)
{
    const DecodeCase &c = GetParam();
    for (double twipsPerPixel : {15.0, 12.0}) {
        const double x = TrayEventDecoder::xForMouseMessage(c.message, twipsPerPixel);
        EXPECT_EQ(x, c.message * twipsPerPixel);
        EXPECT_EQ(TrayEventDecoder::decode(x, twipsPerPixel, c.runMode), c.action)
            << c.message << " '" << c.runMode << "' at " << twipsPerPixel;
    }
}

INSTANTIATE_TEST_SUITE_P(TrayEventDecoder, Decode, testing::ValuesIn(decodeCases()));

struct XCase
{
    double xTwips;
    double twipsPerPixel;
    int message;
};

class MouseMessageFromX : public testing::TestWithParam<XCase>
{
};

TEST_P(MouseMessageFromX, Rounds)
{
    const XCase &c = GetParam();
    EXPECT_EQ(TrayEventDecoder::mouseMessageFromX(c.xTwips, c.twipsPerPixel), c.message);
}

INSTANTIATE_TEST_SUITE_P(TrayEventDecoder, MouseMessageFromX,
                         testing::Values(XCase{516 * 15.0, 15.0, 516},     // exact at 15
                                         XCase{515 * 12.0, 12.0, 515},     // exact at 12
                                         XCase{516 * 15.0 - 7, 15.0, 516}, // just below at 15
                                         XCase{516 * 15.0 + 7, 15.0, 516}, // just above at 15
                                         XCase{515 * 15.0 + 8, 15.0, 516}, // past half rounds up
                                         XCase{516 * 12.0 - 7, 12.0, 515}, // past half rounds down
                                         XCase{516 * 13.5 + 0.2, 13.5, 516}, // fractional scale
                                         XCase{7740.0, 0.0, 0},              // zero scale
                                         XCase{7740.0, -15.0, 0},            // negative scale
                                         XCase{std::nan(""), 15.0, 0},
                                         XCase{std::numeric_limits<double>::infinity(), 15.0, 0},
                                         XCase{1e300, 15.0, 0})); // beyond int

} // namespace
