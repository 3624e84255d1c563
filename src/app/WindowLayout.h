#ifndef TAVRIN_APP_WINDOWLAYOUT_H
#define TAVRIN_APP_WINDOWLAYOUT_H

#include <array>
#include <string_view>

// The window's layout in twips (1/1440 inch), shared by every front end.
struct ControlLayout
{
    std::string_view name;
    int left;
    int top;
    int width;
    int height;
    std::string_view text; // UTF-8, what the control holds when it is made
    int tabIndex;          // place in the focus order; -1 for controls never focused
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
} // namespace WindowLayout

#endif
