#include "app/WindowLayout.h"

#include "ParamName.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

// How the default font scales the layout table into pixels.
namespace {

using WindowLayout::ReferenceLetterWidth;
using WindowLayout::ReferenceLineHeight;

struct ScaleCase
{
    std::string name;
    double letterWidth;
    double lineHeight;
    double twipsPerPixel;
};

class FontScale : public testing::TestWithParam<ScaleCase>
{
};

TEST_P(FontScale, TwipsPerPixel)
{
    const ScaleCase &c = GetParam();
    EXPECT_DOUBLE_EQ(WindowLayout::twipsPerPixel(c.letterWidth, c.lineHeight), c.twipsPerPixel);
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    WindowLayout, FontScale,
    testing::Values(
        ScaleCase{"reference", ReferenceLetterWidth, ReferenceLineHeight, 15},
        ScaleCase{"smaller font keeps the table's size", 3.5, 8, 15},
        ScaleCase{"half as large again", ReferenceLetterWidth * 1.5, ReferenceLineHeight * 1.5, 10},
        ScaleCase{"twice as wide, as high", ReferenceLetterWidth * 2, ReferenceLineHeight, 7.5},
        ScaleCase{"as wide, twice as high", ReferenceLetterWidth, ReferenceLineHeight * 2, 7.5},
        ScaleCase{"wider wins over taller", ReferenceLetterWidth * 3, ReferenceLineHeight * 2, 5},
        ScaleCase{"zero width", 0, ReferenceLineHeight * 2, 15},
        ScaleCase{"negative height", ReferenceLetterWidth * 2, -1, 15},
        ScaleCase{"not a number", NaN, ReferenceLineHeight, 15},
        ScaleCase{"infinite", Inf, Inf, 15}),
    paramName<ScaleCase>);

struct Edge
{
    std::string what;
    int twips;
    int pixels;
};

// Every left and right, top and bottom edge of the window and its controls.
std::vector<Edge> edges(bool across, double twipsPerPixel)
{
    std::vector<Edge> all;
    const auto add = [&](const std::string &name, int start, int size, int startPx, int sizePx) {
        all.push_back({name + " start", start, startPx});
        all.push_back({name + " end", start + size, startPx + sizePx});
    };
    const WindowLayout::PixelRect window = WindowLayout::windowToPixels(twipsPerPixel);
    if (across)
        add("window", 0, WindowLayout::Width, window.left, window.width);
    else
        add("window", 0, WindowLayout::Height, window.top, window.height);
    for (const ControlLayout &c : WindowLayout::controls()) {
        const WindowLayout::PixelRect r = WindowLayout::toPixels(c, twipsPerPixel);
        if (across)
            add(std::string(c.name), c.left, c.width, r.left, r.width);
        else
            add(std::string(c.name), c.top, c.height, r.top, r.height);
    }
    return all;
}

class PixelEdges : public testing::TestWithParam<double>
{
};

// Controls that meet or overlap in twips (the arrows inside the interval box's
// right edge, OK inside the key boxes', the display area ending with OK) still
// do in pixels, and none grows past the window.
TEST_P(PixelEdges, KeepTheirOrder)
{
    for (bool across : {true, false}) {
        const std::vector<Edge> all = edges(across, GetParam());
        for (const Edge &a : all) {
            for (const Edge &b : all) {
                if (a.twips == b.twips) {
                    EXPECT_EQ(a.pixels, b.pixels) << a.what << " and " << b.what;
                } else if (a.twips < b.twips) {
                    EXPECT_LT(a.pixels, b.pixels) << a.what << " before " << b.what;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WindowLayout, PixelEdges,
                         testing::Values(15.0, 12.0, 10.0, 7.5, 13.7, 6.1));

TEST(WindowLayout, ReferenceScaleIsTheTableInWholePixels)
{
    for (const ControlLayout &c : WindowLayout::controls()) {
        const WindowLayout::PixelRect r = WindowLayout::toPixels(c, 15);
        EXPECT_EQ(r.left * 15, c.left) << c.name;
        EXPECT_EQ(r.top * 15, c.top) << c.name;
        EXPECT_EQ(r.width * 15, c.width) << c.name;
        EXPECT_EQ(r.height * 15, c.height) << c.name;
    }
    const WindowLayout::PixelRect window = WindowLayout::windowToPixels(15);
    EXPECT_EQ(window.width, 373);
    EXPECT_EQ(window.height, 160);
}

} // namespace
