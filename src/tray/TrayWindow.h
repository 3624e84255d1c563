#ifndef TAVRIN_TRAY_TRAYWINDOW_H
#define TAVRIN_TRAY_TRAYWINDOW_H

#include <cstdint>

// What the tray operations read from the main window each time they build the
// icon record: the window that receives the icon's mouse messages and the
// handle of the picture currently shown as the window's icon.
class TrayWindow
{
public:
    virtual ~TrayWindow() = default;

    virtual std::uint32_t trayWindowHandle() const = 0;
    virtual std::uint32_t trayIconHandle() const = 0;
};

#endif
