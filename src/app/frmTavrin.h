#ifndef TAVRIN_APP_FRMTAVRIN_H
#define TAVRIN_APP_FRMTAVRIN_H

#include "tray/Module1.h"
#include "tray/TrayWindow.h"
#include "update/BootClock.h"
#include "update/KeyConfirmation.h"
#include "update/RetrySchedule.h"
#include "update/ScaledClock.h"
#include "update/SyncCountdown.h"

#include <QIcon>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>

class BrowserControl;
class BrowserView;
class Clock;
class NetworkReachability;
class PictureRegistry;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QTimer;
class SettingsStore;
class TrayShell;
class UpDownControl;

// The program's one window. It holds the update URL, the command line and the
// countdown, and wires its controls, its timer and the tray to them. It normally
// lives minimised and hidden behind the tray icon.
class frmTavrin : public QWidget, public TrayWindow
{
    Q_OBJECT
public:
    frmTavrin(SettingsStore &settings, BrowserControl &browser, TrayShell &trayShell,
              PictureRegistry &pictures, const QStringList &arguments, QWidget *parent = nullptr);
    ~frmTavrin() override;

    // The current update URL: the service's base URL followed by the key.
    QString TavrinVar;
    // The command-line arguments, lower-cased.
    QString RunMode;

    // Event handlers, one per window, control and menu event.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Form_MouseMove(int button, int shift, double x, double y);
    void Timer1_Timer();
    void txtKey_Change(int index);
    void txtTimer_Change();
    void UpDown1_Change();
    void cmdKey_Click();
    void optionen_Click();
    void beenden_Click();

    // TrayWindow
    quint32 trayWindowHandle() const override;
    quint32 trayIconHandle() const override;

    qint64 tickCount() const { return m_countdown.tickCount(); }

    // A tick this much later than the one before, by the clock, means the
    // machine slept: the sync is made at that tick instead of after the interval.
    static constexpr qint64 WakeGapMs = 30 * 1000;
    // One tick, on the clock.
    static constexpr qint64 TickMs = 1000;
    // How long after start-up the window begins to watch the network.
    static constexpr int WatchNetworkAfterMs = 2000;

    // The clock retries and wake-ups are measured on; nullptr returns to the
    // system's (boot time, suspend included). The clock must outlive the window.
    void setClock(const Clock *clock);
    // Tells the window when the network is back; it then syncs at the next tick.
    // Shortly after Form_Load the system's network is watched unless one was set. The
    // object must outlive the window.
    void setReachability(NetworkReachability *reachability);
    // For test builds: ticks come and the system clock runs scale times as fast,
    // so minutes of countdown and retry delays pass in seconds. Default 1.
    void setTimeScale(double scale);
    double timeScale() const { return m_systemClock.factor(); }
    // While the window is hidden the program sleeps until the next due tick; this is
    // when it wakes, on the window's clock (nullopt while it ticks every second).
    std::optional<qint64> plannedWakeMs() const;
    // Runs the ticks the hidden window slept through, then plans the next wake-up.
    void wakeUp();
    // When the pending retry is due, on the window's clock; nullopt when none is.
    std::optional<qint64> nextRetryDueMs() const { return m_retry.nextRetryDueMs(); }
    // Display twips per pixel, used to carry tray notifications as a pointer position.
    double twipsPerPixel() const;

    // The controls, by their window names. They are built the first time the
    // window is shown or one of them is asked for: the first text box loads the
    // font database, and a program that starts hidden in the tray should neither
    // wait for that before its icon and first request nor keep it in memory.
    QLabel *Label3();
    QLineEdit *txtTimer();
    UpDownControl *UpDown1();
    QLabel *Label1();
    QLineEdit *txtKey(int index);
    QPushButton *cmdKey();
    BrowserView *WebBrowser1();
    QLabel *Image1();
    QLabel *Image2();
    bool controlsBuilt() const { return m_controls.has_value(); }
    // Builds the controls before the window first shows.
    void setVisible(bool visible) override;

    QTimer *Timer1;
    QMenu *datei;
    QAction *optionen;
    QAction *beenden;

    // Replaces the question "Beenden" asks (a message box) — for tests.
    void setQuitConfirmation(std::function<bool()> confirm) { m_confirmQuit = std::move(confirm); }

Q_SIGNALS:
    // "Beenden" was confirmed; the program is to end at once.
    void quitConfirmed();
    // The window was closed; the program is to end.
    void unloaded();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Controls
    {
        QLabel *Label3;
        QLineEdit *txtTimer;
        UpDownControl *UpDown1;
        QLabel *Label1;
        std::array<QLineEdit *, 2> txtKey;
        QPushButton *cmdKey;
        BrowserView *WebBrowser1;
        QLabel *Image1;
        QLabel *Image2;
    };
    struct Page
    {
        QString text;
        bool isHtml = false;
    };

    void createMenuAndTimers();
    Controls &controls();
    Controls buildControls();
    void showPage(const QString &text, bool isHtml);
    // Puts text in the interval box, or, while the box is not built, does what
    // the box's change would.
    void setIntervalText(const QString &text);
    void intervalChanged(const QString &text);
    void ApplyKey();
    void saveInterval();
    void setWindowPicture(quint32 handle);
    void requestFinished(bool succeeded);
    const Clock &clock() const;
    int tickIntervalMs() const;
    // Notes the tick's time and whether the machine slept since the last tick.
    void noteTickTime(qint64 nowMs);
    void sendDueRetry(qint64 nowMs);
    // Requests TavrinVar; a pending retry is dropped, the outcome decides what follows.
    void sendUpdate();
    // One tick at tickMs; the caption is updated only when it is to be seen.
    void runTick(qint64 tickMs, bool showCaption);
    // Hidden in the tray: stop the per-second tick and sleep until something is due.
    void enterQuietMode();
    // Shown again: run the ticks slept through and tick every second from the grid.
    void leaveQuietMode();
    void runDueTicks(qint64 nowMs);
    // Brings a hidden window's countdown up to now before an event changes it.
    void catchUp();
    void planWake();
    // When the next regular sync comes, on the clock; nullopt while the count is paused.
    std::optional<qint64> nextSyncMs(qint64 nowMs) const;
    void restoreWindow();
    bool askQuitQuestion();

    SettingsStore &m_settings;
    BrowserControl &m_browser;
    TrayShell &m_trayShell;
    PictureRegistry &m_pictures;
    Module1 m_tray;
    QStringList m_arguments;
    SyncCountdown m_countdown;
    KeyConfirmation m_keyConfirmation;
    quint32 m_pictureA = 0;
    quint32 m_pictureB = 0;
    quint32 m_iconHandle = 0;
    // The picture the next sync shows: the last finished request's outcome.
    quint32 m_outcomePicture = 0;
    bool m_inSync = false;
    bool m_loaded = false;
    BootClock m_bootClock;
    ScaledClock m_systemClock{m_bootClock};
    const Clock *m_clock = nullptr; // set for tests; the system clock otherwise
    NetworkReachability *m_reachability = nullptr;
    RetrySchedule m_retry;
    std::optional<qint64> m_lastTickMs;
    // The machine woke or the network came back: the next tick syncs.
    bool m_catchUpDue = false;
    // The interval text in effect: ticks slept through use the text they would have seen.
    std::string m_intervalText; // UTF-8
    std::optional<Controls> m_controls;
    // The last answer that came before the display area was built.
    std::optional<Page> m_pendingPage;
    bool m_quiet = false;
    // Requests sent, to tell an outcome that came too late.
    quint64 m_requestsSent = 0;
    QTimer *m_wakeTimer = nullptr;
    qint64 m_plannedWakeMs = 0;
    bool m_warnedNoTray = false;
    std::function<bool()> m_confirmQuit;
};

#endif
