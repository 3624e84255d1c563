#include "tray/TrayPresence.h"

#include "base/CoreLog.h"
#include "tray/TrayShell.h"

#include <string>

namespace {

void log(CoreLog::Level level, const std::string &message)
{
    CoreLog::write(CoreLog::Area::App, level, message);
}

} // namespace

TrayPresence::TrayPresence(TrayShell &shell, const TrayWindow &window)
    : m_shell(shell), m_tray(shell, window)
{
}

bool TrayPresence::windowMinimised(bool windowShown)
{
    if (m_shell.hostAvailable()) {
        m_tray.TrayAdd();
        m_state = State::InTray;
        return true;
    }
    if (!windowShown) {
        m_state = State::WaitingForTray;
        m_waitedTicks = 0;
        log(CoreLog::Level::Info,
            "no system tray yet; waiting " + std::to_string(GraceTicks) + " s for one");
        return false;
    }
    // Minimised by the user: the window manager keeps it, and a tray that
    // appears later takes it.
    m_state = State::ShownForWantOfTray;
    if (!m_warnedNoTray)
        log(CoreLog::Level::Warning, "no system tray available; the window stays minimised");
    m_warnedNoTray = true;
    return false;
}

void TrayPresence::windowRestored()
{
    m_tray.TrayRemove();
    if (m_state == State::InTray)
        m_state = State::ShownByUser;
}

void TrayPresence::windowOpened()
{
    m_tray.TrayRemove();
    m_state = State::ShownByUser;
}

TrayPresence::Step TrayPresence::tick()
{
    if (m_state != State::WaitingForTray || ++m_waitedTicks < GraceTicks)
        return Step::None;
    return showForWantOfTray("no system tray; the window is shown instead");
}

TrayPresence::Step TrayPresence::hostChanged(bool available)
{
    if (available) {
        if (m_state != State::WaitingForTray && m_state != State::ShownForWantOfTray)
            return Step::None;
        log(CoreLog::Level::Info, "system tray available; the window goes to the tray");
        m_tray.TrayAdd();
        m_state = State::InTray;
        return Step::Hide;
    }
    if (m_state != State::InTray)
        return Step::None;
    // The icon went with the tray; removing it keeps a returning tray from
    // finding a stale one.
    m_tray.TrayRemove();
    return showForWantOfTray("system tray gone; the window is shown instead");
}

TrayPresence::Step TrayPresence::showForWantOfTray(const char *why)
{
    log(CoreLog::Level::Warning, why);
    m_state = State::ShownForWantOfTray;
    return Step::Show;
}

void TrayPresence::pictureChanged()
{
    m_tray.TrayModify();
}

void TrayPresence::programEnding()
{
    m_tray.TrayRemove();
}
