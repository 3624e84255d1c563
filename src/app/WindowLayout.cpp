#include "app/WindowLayout.h"

#include <algorithm>
#include <cmath>

namespace WindowLayout {

const std::array<ControlLayout, ControlCount> &controls()
{
    // Focus order: answer area, first key box, interval box, arrows, OK, second key box.
    static const std::array<ControlLayout, ControlCount> table = {{
        {"Label3", 120, 240, 1095, 255, "Sync-Intervall:", -1},
        {"txtTimer", 1320, 240, 375, 285, "10", 2, "Label3", "",
         "Minuten zwischen zwei Aktualisierungen"},
        {"UpDown1", 1680, 240, 240, 285, "", 3, "", "Intervall ändern",
         "Pfeiltasten erhöhen oder verringern das Sync-Intervall um eine Minute"},
        {"Label1", 2400, 240, 855, 255, "Schlüssel:", -1},
        {"txtKey0", 3360, 240, 1695, 285, "", 1, "Label1", "",
         "Schlüssel für die Aktualisierung, verdeckt angezeigt"},
        {"txtKey1", 3360, 600, 1695, 285, "", 5, "", "Schlüssel bestätigen",
         "Denselben Schlüssel noch einmal eingeben"},
        {"cmdKey", 5040, 600, 375, 255, "OK", 4, "", "OK",
         "Übernimmt den Schlüssel, sobald beide Eingaben übereinstimmen"},
        {"WebBrowser1", 120, 1080, 5295, 1095, "", 0, "", "Antwort des Dienstes",
         "Wie es um die Aktualisierung steht, darunter die letzte Antwort des Dienstes"},
        // Hidden picture holders: Image1 shows what a sync shows, Image2 a failure.
        {"Image1", 360, 0, 480, 450, "", -1},
        {"Image2", 600, 120, 480, 450, "", -1},
    }};
    return table;
}

const ControlLayout &control(std::string_view name)
{
    const auto &table = controls();
    const auto found = std::find_if(table.begin(), table.end(),
                                    [name](const ControlLayout &c) { return c.name == name; });
    return found != table.end() ? *found : table.front();
}

std::string_view accessibleName(const ControlLayout &control)
{
    if (!control.labelledBy.empty())
        return WindowLayout::control(control.labelledBy).text;
    return control.accessibleName;
}

double twipsPerPixel(double letterWidth, double lineHeight)
{
    const auto usable = [](double v) { return std::isfinite(v) && v > 0; };
    if (!usable(letterWidth) || !usable(lineHeight))
        return ReferenceTwipsPerPixel;
    const double growth =
        std::max({1.0, letterWidth / ReferenceLetterWidth, lineHeight / ReferenceLineHeight});
    return ReferenceTwipsPerPixel / growth;
}

namespace {
int edge(int twips, double twipsPerPixel)
{
    return int(std::lround(twips / twipsPerPixel));
}

PixelRect rect(int left, int top, int width, int height, double twipsPerPixel)
{
    if (!(twipsPerPixel > 0) || !std::isfinite(twipsPerPixel))
        twipsPerPixel = ReferenceTwipsPerPixel;
    const int x = edge(left, twipsPerPixel);
    const int y = edge(top, twipsPerPixel);
    return {x, y, edge(left + width, twipsPerPixel) - x, edge(top + height, twipsPerPixel) - y};
}
} // namespace

PixelRect toPixels(const ControlLayout &control, double twipsPerPixel)
{
    return rect(control.left, control.top, control.width, control.height, twipsPerPixel);
}

PixelRect windowToPixels(double twipsPerPixel)
{
    return rect(0, 0, Width, Height, twipsPerPixel);
}

} // namespace WindowLayout
