#ifndef TAVRIN_APP_WINDOWLAYOUT_H
#define TAVRIN_APP_WINDOWLAYOUT_H

#include <array>
#include <string_view>

// The window's layout in twips (1/1440 inch), shared by every front end.
// Like dialog units, twips are turned into pixels by the default font: at the
// font the table was drawn for, 15 twips are one pixel, and a larger font
// makes the window and every control proportionally larger.
struct ControlLayout
{
    std::string_view name;
    int left;
    int top;
    int width;
    int height;
    std::string_view text; // UTF-8, what the control holds when it is made
    int tabIndex;          // place in the focus order; -1 for controls never focused
    // For screen readers, German, UTF-8. A control with a label standing before
    // it is named by the label's text; the others by their own name.
    std::string_view labelledBy = {}; // the label's control name
    std::string_view accessibleName = {};
    std::string_view accessibleDescription = {};
};

namespace WindowLayout {
constexpr std::string_view Caption = "KORLA DNS Conector";
constexpr int Width = 5595;
constexpr int Height = 2400;
constexpr int ControlCount = 10;

// Every control, in the order they are created.
const std::array<ControlLayout, ControlCount> &controls();
// The control of that name ("txtKey0", "txtKey1" for the key boxes); the
// first one for a name not in the table.
const ControlLayout &control(std::string_view name);

// For screen readers: the arrows' halves where a front end builds them itself.
constexpr std::string_view ArrowUpName = "Intervall erhöhen";
constexpr std::string_view ArrowDownName = "Intervall verringern";

// What a screen reader calls the control: its label's text, else its own name.
std::string_view accessibleName(const ControlLayout &control);

// The default font the table was drawn for, in pixels: the average advance of
// the letters a-z and A-Z, and the line height. That is the sans-serif face of
// 8 pixels (6 points at 96 dpi); at any larger size at 15 twips per pixel the
// interval box no longer shows "0.05" whole.
constexpr double ReferenceLetterWidth = 4.94;
constexpr double ReferenceLineHeight = 9.32;
constexpr double ReferenceTwipsPerPixel = 15;

// Twips per pixel for a default font of that average letter width and line
// height in pixels: 15 at the reference font or a smaller one; for a larger
// font, fewer by its larger ratio to the reference, so every text keeps room
// across and down. Unusable measures give 15.
double twipsPerPixel(double letterWidth, double lineHeight);

// A control's place and size in whole pixels at that scale. Its edges are
// rounded, each on its own, so neighbouring controls keep meeting or
// overlapping as the table has them.
struct PixelRect
{
    int left;
    int top;
    int width;
    int height;
};
PixelRect toPixels(const ControlLayout &control, double twipsPerPixel);
// The window's client area in whole pixels at that scale.
PixelRect windowToPixels(double twipsPerPixel);
} // namespace WindowLayout

#endif
