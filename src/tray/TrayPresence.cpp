#include "tray/TrayPresence.h"

#include "tray/TrayShell.h"
#include "update/CoreLog.h"

TrayPresence::TrayPresence(TrayShell &shell, const TrayWindow &window)
    : m_shell(shell), m_tray(shell, window)
{
}

bool TrayPresence::windowMinimised()
{
    if (!m_shell.hostAvailable()) {
        if (!m_warnedNoTray)
            CoreLog::write(CoreLog::Area::App, CoreLog::Level::Warning,
                           "no system tray available; the window stays minimised");
        m_warnedNoTray = true;
        return false;
    }
    m_tray.TrayAdd();
    return true;
}

void TrayPresence::windowRestored()
{
    m_tray.TrayRemove();
}

void TrayPresence::pictureChanged()
{
    m_tray.TrayModify();
}

void TrayPresence::programEnding()
{
    m_tray.TrayRemove();
}
