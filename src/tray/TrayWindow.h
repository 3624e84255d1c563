#ifndef TAVRIN_TRAY_TRAYWINDOW_H
#define TAVRIN_TRAY_TRAYWINDOW_H

#include <QtGlobal>

// What the tray operations read from the main window each time they build the
// icon record: the window that receives the icon's mouse messages and the
// handle of the picture currently shown as the window's icon.
class TrayWindow
{
public:
    virtual ~TrayWindow() = default;

    virtual quint32 trayWindowHandle() const = 0;
    virtual quint32 trayIconHandle() const = 0;
};

#endif
