#ifndef TAVRIN_TRAY_TRAYPRESENCE_H
#define TAVRIN_TRAY_TRAYPRESENCE_H

#include "tray/Module1.h"

class TrayShell;
class TrayWindow;

// When the program's icon is in the notification area: while the window hides
// there, never while it is shown, and not after the program ends. Without a
// notification area the window must not hide, or it could never come back.
class TrayPresence
{
public:
    TrayPresence(TrayShell &shell, const TrayWindow &window);

    // The window was minimised. True when the icon is now in the tray and the
    // window is to hide; false when no tray exists and it stays minimised.
    bool windowMinimised();
    // The window is seen again: the icon goes.
    void windowRestored();
    // The window's picture changed: the icon follows it.
    void pictureChanged();
    // The program ends: no stale icon may stay behind.
    void programEnding();

    const Module1 &tray() const { return m_tray; }

private:
    TrayShell &m_shell;
    Module1 m_tray;
    bool m_warnedNoTray = false;
};

#endif
