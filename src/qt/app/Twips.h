#ifndef TAVRIN_QT_APP_TWIPS_H
#define TAVRIN_QT_APP_TWIPS_H

#include "app/WindowLayout.h"

#include <QRect>
#include <QSize>

class QFontMetricsF;

// The window's layout is drawn up in twips (1/1440 inch) and laid out in
// logical pixels scaled by the window's font; Qt scales logical pixels for
// high-density screens itself.
namespace Twips {
// The twips per logical pixel of a screen of 96 dots per inch.
constexpr int PerLogicalPixel = 15;

// Twips per logical pixel for the layout at the font of those metrics.
double perPixel(const QFontMetricsF &metrics);

inline QRect rect(const ControlLayout &control, double twipsPerPixel)
{
    const WindowLayout::PixelRect r = WindowLayout::toPixels(control, twipsPerPixel);
    return QRect(r.left, r.top, r.width, r.height);
}

inline QSize windowSize(double twipsPerPixel)
{
    const WindowLayout::PixelRect r = WindowLayout::windowToPixels(twipsPerPixel);
    return QSize(r.width, r.height);
}
} // namespace Twips

#endif
