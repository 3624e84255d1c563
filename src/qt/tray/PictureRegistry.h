#ifndef TAVRIN_QT_TRAY_PICTUREREGISTRY_H
#define TAVRIN_QT_TRAY_PICTUREREGISTRY_H

#include <QHash>
#include <QIcon>

// Hands out 32-bit handles for pictures, so the icon record can name the
// picture to show by number.
class PictureRegistry
{
public:
    // A new nonzero handle, distinct from every handle given out before.
    quint32 add(const QIcon &icon);

    // The picture of a handle, or a null icon for a handle never given out.
    QIcon icon(quint32 handle) const;
    bool contains(quint32 handle) const;

private:
    QHash<quint32, QIcon> m_icons;
    quint32 m_lastHandle = 0;
};

#endif
