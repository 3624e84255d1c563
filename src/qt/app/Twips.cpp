#include "qt/app/Twips.h"

#include <QFontMetricsF>
#include <QString>

double Twips::perPixel(const QFontMetricsF &metrics)
{
    // Averaged over the letters, as dialog units are, not taken from the font's
    // own average width, which counts every glyph it has.
    static const QString letters =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    return WindowLayout::twipsPerPixel(metrics.horizontalAdvance(letters) / letters.size(),
                                       metrics.height());
}
