#ifndef TAVRIN_QT_APP_TWIPS_H
#define TAVRIN_QT_APP_TWIPS_H

#include <QRect>

// The window's layout is drawn up in twips (1/1440 inch) at 15 twips per
// logical pixel; Qt scales logical pixels for high-density screens itself.
namespace Twips {
constexpr int PerLogicalPixel = 15;

constexpr int toPixels(int twips)
{
    return twips / PerLogicalPixel;
}

inline QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}
} // namespace Twips

#endif
