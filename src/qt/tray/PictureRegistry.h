#ifndef TAVRIN_QT_TRAY_PICTUREREGISTRY_H
#define TAVRIN_QT_TRAY_PICTUREREGISTRY_H

#include <QHash>
#include <QIcon>

// Hands out 32-bit handles for pictures, so the icon record can name the
// picture to show by number.
class PictureRegistry
{
public:
    // A new handle, counted from 1: 0 means "no picture" in the icon record.
    quint32 add(const QIcon &icon)
    {
        m_icons.insert(++m_lastHandle, icon);
        return m_lastHandle;
    }

    // The picture of a handle, or a null icon for a handle never given out.
    QIcon icon(quint32 handle) const { return m_icons.value(handle); }
    bool contains(quint32 handle) const { return m_icons.contains(handle); }

private:
    QHash<quint32, QIcon> m_icons;
    quint32 m_lastHandle = 0;
};

#endif
