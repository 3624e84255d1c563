#include "qt/tray/PictureRegistry.h"

quint32 PictureRegistry::add(const QIcon &icon)
{
    // 0 means "no picture" in the icon record, so it is never given out.
    do
        ++m_lastHandle;
    while (m_lastHandle == 0 || m_icons.contains(m_lastHandle));
    m_icons.insert(m_lastHandle, icon);
    return m_lastHandle;
}

QIcon PictureRegistry::icon(quint32 handle) const
{
    return m_icons.value(handle);
}

bool PictureRegistry::contains(quint32 handle) const
{
    return m_icons.contains(handle);
}
