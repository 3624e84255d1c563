#ifndef TAVRIN_TRAY_TRAYPRESENCE_H
#define TAVRIN_TRAY_TRAYPRESENCE_H

#include "tray/Module1.h"

class TrayShell;
class TrayWindow;

// When the program's icon is in the notification area: while the window hides
// there, never while it is shown, and not after the program ends. Without a
// notification area the window must not hide, or it could never come back: at
// start it waits a few ticks for one, then shows itself; a tray that appears
// later takes the window back, one that goes away gives it back.
class TrayPresence
{
public:
    enum class State
    {
        // Hidden, the icon in the tray.
        InTray,
        // Opened by the user: stays open whatever the tray does.
        ShownByUser,
        // Shown, or left minimised, only because no tray holds the icon.
        ShownForWantOfTray,
        // Started without a tray: not shown yet, waiting for one.
        WaitingForTray,
    };
    // What the window is to do next.
    enum class Step
    {
        None,
        // Hide behind the icon, which is in the tray now.
        Hide,
        // Show in the normal state.
        Show,
    };
    // Ticks a window started without a tray waits for one before it shows.
    static constexpr int GraceTicks = 5;

    TrayPresence(TrayShell &shell, const TrayWindow &window);

    // The window was minimised; windowShown is false at start, before it ever showed.
    // True when the icon is now in the tray and the window is to hide.
    bool windowMinimised(bool windowShown = true);
    // The window is seen again: the icon goes.
    void windowRestored();
    // The user opened the window: the icon goes, and the window stays open.
    void windowOpened();
    // The window ticked (once a second while not hidden).
    Step tick();
    // A notification area appeared or went away.
    Step hostChanged(bool available);
    // The window's picture changed: the icon follows it.
    void pictureChanged();
    // The program ends: no stale icon may stay behind.
    void programEnding();

    State state() const { return m_state; }
    const Module1 &tray() const { return m_tray; }

private:
    Step showForWantOfTray(const char *why);

    TrayShell &m_shell;
    Module1 m_tray;
    State m_state = State::ShownByUser;
    int m_waitedTicks = 0;
    bool m_warnedNoTray = false;
};

#endif
