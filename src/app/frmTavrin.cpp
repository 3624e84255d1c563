#include "app/frmTavrin.h"

#include "app/StartAtLogin.h"
#include "app/WindowLayout.h"
#include "base/AsciiText.h"
#include "base/CoreLog.h"
#include "tray/TrayEventDecoder.h"
#include "tray/TrayShell.h"
#include "update/RequestChannel.h"
#include "update/UpdateStatus.h"
#include "update/UpdateUrl.h"

#include <algorithm>
#include <cmath>

frmTavrin::frmTavrin(WindowView &view, TrayShell &trayShell, SettingsStore &settings,
                     const Clock &clock, WakeTimer &wakeTimer, RequestChannel &channel,
                     NumberFormat format, const std::vector<std::string> &arguments)
    : m_view(view), m_trayShell(trayShell), m_settings(settings), m_channel(channel),
      m_tray(trayShell, *this), m_arguments(arguments),
      m_engine(clock, wakeTimer, channel, *this, std::move(format))
{
    // The interval box's text before the stored interval is loaded.
    m_engine.intervalChanged(std::string(WindowLayout::control("txtTimer").text));
}

void frmTavrin::Form_Load()
{
    RunMode.clear();
    for (const std::string &argument : m_arguments)
        RunMode += (RunMode.empty() ? "" : " ") + AsciiText::lowered(argument);
    TavrinVar = m_settings.updateUrl();
    // Replacing the box's text saves it straight back, so a first start stores the default.
    m_view.setIntervalText(m_settings.interval());
    m_view.setTickIntervalMs(m_tickIntervalMs);
    m_loaded = true;
    m_channel.setTheaterMode(true);
    m_engine.setUpdateUrl(TavrinVar);
    m_engine.start();
    // Without a key nothing can be updated: the window asks for it instead of hiding.
    if (TavrinVar.empty())
        restoreWindow();
    else
        m_view.minimiseAtStart();
    CoreLog::write(CoreLog::Area::App, CoreLog::Level::Info,
                   "started; interval \"" + m_engine.intervalText() + "\" minutes");
}

void frmTavrin::Form_Resize()
{
    if (m_view.isMinimised()) {
        if (m_tray.windowMinimised(m_view.isShown()))
            follow(TrayPresence::Step::Hide);
    } else if (m_view.isShown()) {
        // A hidden window comes back only through restoreWindow(): a window manager
        // that drops the state of a window it stops managing must not take the icon away.
        m_tray.windowRestored();
        leaveQuietMode();
    }
}

void frmTavrin::Form_Unload()
{
    m_tray.programEnding();
    m_view.endProgram();
}

void frmTavrin::Form_MouseMove(int, int, double x, double)
{
    switch (TrayEventDecoder::decode(x, m_view.twipsPerPixel(), RunMode)) {
    case TrayEventDecoder::Action::OpenMenu:
        // Trays that show the icon's context menu themselves have opened it already.
        if (!m_view.menuShown())
            m_view.popUpMenu();
        break;
    case TrayEventDecoder::Action::RestoreWindow:
        m_tray.windowRestored();
        restoreWindow();
        break;
    case TrayEventDecoder::Action::ShowWindow:
        restoreWindow();
        break;
    case TrayEventDecoder::Action::None:
        break;
    }
}

void frmTavrin::trayMouseMessage(int number)
{
    const double twipsPerPixel = m_view.twipsPerPixel();
    Form_MouseMove(0, 0, TrayEventDecoder::xForMouseMessage(number, twipsPerPixel), 0);
}

void frmTavrin::Timer1_Timer()
{
    // After a start aligned to the tick grid, the timer goes back to whole ticks.
    if (m_view.tickIntervalMs() != m_tickIntervalMs)
        m_view.setTickIntervalMs(m_tickIntervalMs);
    m_engine.tick();
    // Not hidden, so ticking anyway: the wait for a tray costs no wake-up of its own.
    follow(m_tray.tick());
}

void frmTavrin::txtKey_Change(int)
{
    m_view.setOkEnabled(m_keyConfirmation.keyChanged(m_view.keyText(0), m_view.keyText(1)));
}

void frmTavrin::txtKey_KeyPress(int, int keyAscii)
{
    if (keyAscii == EnterKey)
        cmdKey_Click();
}

void frmTavrin::cmdKey_Click()
{
    if (m_keyConfirmation.okEnabled())
        ApplyKey();
}

void frmTavrin::txtTimer_Change()
{
    m_engine.intervalChanged(m_view.intervalText());
    saveInterval();
}

void frmTavrin::ApplyKey()
{
    TavrinVar = UpdateUrl::compose(UpdateUrl::baseUrl(), m_view.keyText(1));
    m_settings.saveUpdateUrl(TavrinVar);
    m_engine.replaceUrl(TavrinVar);
    if (m_loginEntry)
        StartAtLogin::keyApplied(*m_loginEntry);
}

void frmTavrin::beenden_Click()
{
    if (!m_view.askQuitQuestion())
        return;
    m_tray.programEnding();
    m_view.endProgram();
}

void frmTavrin::restoreWindow()
{
    showAnswerArea();
    m_view.restore();
    m_tray.windowOpened();
    leaveQuietMode();
    m_view.bringToFront();
}

void frmTavrin::follow(TrayPresence::Step step)
{
    switch (step) {
    case TrayPresence::Step::Hide:
        m_view.hide();
        enterQuietMode();
        break;
    case TrayPresence::Step::Show:
        showAnswerArea();
        m_view.restore();
        leaveQuietMode();
        break;
    case TrayPresence::Step::None:
        break;
    }
}

void frmTavrin::enterQuietMode()
{
    m_view.stopTicking();
    m_engine.windowHidden();
}

void frmTavrin::leaveQuietMode()
{
    if (!m_engine.windowShown())
        return;
    // Hidden, the area was not kept up to date: "heute" may be "gestern" by now.
    showAnswerArea();
    // The next tick comes where a ticking program's would.
    const auto delay = std::int64_t(std::llround(double(m_engine.msUntilNextTick()) / m_timeScale));
    m_view.startTicking(std::clamp<std::int64_t>(delay, 1, m_tickIntervalMs));
}

void frmTavrin::requestSent(RequestKind kind)
{
    // A sync lets pending events run, as the window always has; a tick that comes
    // meanwhile is left to the next one.
    if (kind == RequestKind::Sync)
        m_view.runPendingEvents();
}

void frmTavrin::synced(const std::string &caption, UpdateHealth health)
{
    showPicture(health);
    m_tray.pictureChanged();
    m_view.runPendingEvents();
    m_view.setCaption(caption);
}

void frmTavrin::outcomeShown(UpdateHealth health)
{
    showPicture(health);
    m_tray.pictureChanged();
}

void frmTavrin::attemptFinished(const RequestOutcome &outcome,
                                std::optional<std::int64_t> nextAttemptInMs)
{
    const std::int64_t now = m_wallClock->nowSeconds();
    std::optional<std::int64_t> next;
    // The engine's milliseconds run at the time scale; the calendar does not.
    if (nextAttemptInMs)
        next = now + std::llround(double(*nextAttemptInMs) / m_timeScale / 1000.0);
    m_report.attemptEnded(outcome, now, next);
}

void frmTavrin::statusShown(const UpdateStatus &status)
{
    m_status = status;
    showAnswerArea();
    if (showPicture(status.health()))
        m_tray.pictureChanged();
}

void frmTavrin::showAnswerArea()
{
    m_view.showAnswer(m_report.text(m_status, m_answer, *m_wallClock));
}

void frmTavrin::noticeDue(const std::string &title, const std::string &text, bool warning)
{
    m_trayShell.showNotification(
        title, text, warning ? NotificationIcon::Warning : NotificationIcon::Information);
}

bool frmTavrin::showPicture(UpdateHealth health)
{
    const auto picture =
        health == UpdateHealth::Good ? WindowView::Picture::Working : WindowView::Picture::Failing;
    // A sync sets the picture it already shows most of the time.
    if (picture == m_picture)
        return false;
    m_picture = picture;
    m_view.setPicture(picture);
    return true;
}

void frmTavrin::setTimeScale(double scale)
{
    m_timeScale = scale > 0 ? scale : 1.0;
    // Read every tick, so worked out once here.
    m_tickIntervalMs = std::max<std::int64_t>(1, std::llround(double(TickMs) / m_timeScale));
    if (m_loaded)
        m_view.setTickIntervalMs(m_tickIntervalMs);
}
