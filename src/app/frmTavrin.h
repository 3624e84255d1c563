#ifndef TAVRIN_APP_FRMTAVRIN_H
#define TAVRIN_APP_FRMTAVRIN_H

#include "app/WindowView.h"
#include "base/WallClock.h"
#include "settings/UpdateSettings.h"
#include "tray/TrayPresence.h"
#include "tray/TrayWindow.h"
#include "update/KeyConfirmation.h"
#include "update/StatusReport.h"
#include "update/UpdateEngine.h"
#include "update/UpdateListener.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class Clock;
class LoginEntryPlace;
class RequestChannel;
class SettingsStore;
class TrayShell;
class WakeTimer;

// The program's one window, as the user's actions and the update engine see it:
// it holds the update URL and the command line, answers the window's, the
// controls' and the menu's events, and shows the engine's countdown and
// outcomes through the view. It normally lives minimised behind the tray icon.
class frmTavrin : public TrayWindow, private UpdateListener
{
public:
    static constexpr std::int64_t WakeGapMs = UpdateEngine::WakeGapMs;
    static constexpr std::int64_t TickMs = UpdateEngine::TickMs;
    // The key code txtKey_KeyPress receives for Enter.
    static constexpr int EnterKey = 13;

    // Every part must outlive the presenter. arguments: the command-line words.
    frmTavrin(WindowView &view, TrayShell &trayShell, SettingsStore &settings, const Clock &clock,
              WakeTimer &wakeTimer, RequestChannel &channel, NumberFormat format,
              const std::vector<std::string> &arguments);

    // The current update URL: the service's base URL followed by the key.
    std::string TavrinVar;
    // The command-line arguments, lower-cased.
    std::string RunMode;

    // Event handlers, one per window, control and menu event.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Form_MouseMove(int button, int shift, double x, double y);
    void Timer1_Timer();
    void txtKey_Change(int index);
    void txtTimer_Change();
    void UpDown1_Change() { saveInterval(); }
    // Applies the key only while OK is enabled, however the click arrives.
    void cmdKey_Click();
    // A key typed in either key box: Enter presses OK.
    void txtKey_KeyPress(int index, int keyAscii);
    void optionen_Click() { restoreWindow(); }
    void beenden_Click();

    // The tray reported mouse activity on the icon.
    void trayMouseMessage(int number);
    // A notification area appeared or went away.
    void trayHostChanged(bool available) { follow(m_tray.hostChanged(available)); }
    TrayPresence::State trayState() const { return m_tray.state(); }
    // The network is back: the next tick syncs.
    void networkBack() { m_engine.networkBack(); }
    // The machine woke from sleep: the next tick syncs.
    void systemResumed() { m_engine.systemResumed(); }

    // TrayWindow
    std::uint32_t trayWindowHandle() const override { return m_view.windowHandle(); }
    std::uint32_t trayIconHandle() const override { return m_view.pictureHandle(m_picture); }

    // Where applying a key makes the user's start-at-login entry; none by default.
    void setLoginEntry(LoginEntryPlace *place) { m_loginEntry = place; }

    // The clock retries and wake-ups are measured on.
    void setClock(const Clock &clock) { m_engine.setClock(clock); }
    // The calendar time the status is told in; the system's by default.
    void setWallClock(const WallClock &clock) { m_wallClock = &clock; }
    // Test builds: time runs scale times as fast, ticks included.
    void setTimeScale(double scale);

    std::int64_t tickCount() const { return m_engine.tickCount(); }
    std::optional<std::int64_t> plannedWakeMs() const { return m_engine.plannedWakeMs(); }
    std::optional<std::int64_t> nextRetryDueMs() const { return m_engine.nextRetryDueMs(); }
    // The wake timer fired: runs the ticks slept through, plans the next wake-up.
    void wakeUp() { m_engine.wakeUp(); }

private:
    void ApplyKey();
    void saveInterval() { m_settings.saveInterval(m_engine.intervalText()); }
    // True when the picture changed.
    bool showPicture(UpdateHealth health);
    void restoreWindow();
    // Hides behind the icon or shows for want of a tray, as the tray's presence says.
    void follow(TrayPresence::Step step);
    // Hidden in the tray: stop the per-second tick and let the engine sleep.
    void enterQuietMode();
    // Shown again: the engine runs the ticks slept through; tick every second from the grid.
    void leaveQuietMode();
    // The status and the answer, with their times as of now.
    void showAnswerArea();

    // UpdateListener
    void captionChanged(const std::string &caption) override { m_view.setCaption(caption); }
    void synced(const std::string &caption, UpdateHealth health) override;
    void outcomeShown(UpdateHealth health) override;
    // Shown with the status that follows it.
    void answerShown(const std::string &text) override { m_answer = text; }
    void attemptFinished(const RequestOutcome &outcome,
                         std::optional<std::int64_t> nextAttemptInMs) override;
    void requestSent(RequestKind kind) override;
    void statusShown(const UpdateStatus &status) override;
    void noticeDue(const std::string &title, const std::string &text, bool warning) override;

    WindowView &m_view;
    TrayShell &m_trayShell;
    UpdateSettings m_settings;
    RequestChannel &m_channel;
    TrayPresence m_tray;
    std::vector<std::string> m_arguments;
    KeyConfirmation m_keyConfirmation;
    UpdateEngine m_engine;
    WindowView::Picture m_picture = WindowView::Picture::Working;
    SystemWallClock m_systemWallClock;
    const WallClock *m_wallClock = &m_systemWallClock;
    StatusReport m_report;
    UpdateStatus m_status;
    std::string m_answer;
    double m_timeScale = 1.0;
    // One tick in real milliseconds, at the time scale.
    std::int64_t m_tickIntervalMs = TickMs;
    bool m_loaded = false;
    LoginEntryPlace *m_loginEntry = nullptr;
};

#endif
