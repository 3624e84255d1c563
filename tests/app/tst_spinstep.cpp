#include "app/SpinStep.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Step
{
    const char *name;
    std::string text;
    int own;
    int delta;
    int expected;
};

class SpinStepTest : public ::testing::TestWithParam<Step>
{
};

TEST_P(SpinStepTest, stepsFromTheBoxOrItsOwnValue)
{
    const Step &s = GetParam();
    EXPECT_EQ(SpinStep::stepped(s.text, s.own, s.delta, 1, 60), s.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SpinStepTest,
    ::testing::Values(
        Step{"fromText", "10", 3, 1, 11}, Step{"blanksAround", " 7\t", 3, -1, 6},
        Step{"plusSign", "+5", 3, 1, 6}, Step{"leadingZero", "09", 3, 1, 10},
        Step{"germanFraction", "1,5", 3, 1, 4}, Step{"dotFraction", "0.5", 3, -1, 2},
        Step{"onlySign", "-", 3, 1, 4}, Step{"empty", "", 3, -1, 2}, Step{"atTop", "60", 3, 1, 60},
        Step{"atBottom", "1", 3, -1, 1}, Step{"negativeClamps", "-5", 3, 1, 1},
        Step{"intMaxClamps", "2147483647", 3, 1, 60}, Step{"pastIntUsesOwn", "2147483648", 3, 1, 4},
        Step{"intMinClamps", "-2147483648", 3, -1, 1}, Step{"hugeUsesOwn", "99999999999", 3, 1, 4}),
    paramName<Step>);
} // namespace
