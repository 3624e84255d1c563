#ifndef TAVRIN_APP_FRMTAVRIN_H
#define TAVRIN_APP_FRMTAVRIN_H

#include "qt/update/BootClock.h"
#include "qt/update/BootTimer.h"
#include "qt/update/BrowserRequestChannel.h"
#include "tray/Module1.h"
#include "tray/TrayWindow.h"
#include "update/KeyConfirmation.h"
#include "update/ScaledClock.h"
#include "update/UpdateEngine.h"
#include "update/UpdateListener.h"

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

// The program's one window. It holds the update URL and the command line, and
// wires its controls, its timer and the tray to the update engine, whose
// countdown and outcomes it shows. It normally lives minimised and hidden behind
// the tray icon.
class frmTavrin : public QWidget, public TrayWindow, private UpdateListener
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

    qint64 tickCount() const { return m_engine.tickCount(); }

    static constexpr qint64 WakeGapMs = UpdateEngine::WakeGapMs;
    static constexpr qint64 TickMs = UpdateEngine::TickMs;
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
    std::optional<qint64> plannedWakeMs() const { return m_engine.plannedWakeMs(); }
    // Runs the ticks the hidden window slept through, then plans the next wake-up.
    void wakeUp() { m_engine.wakeUp(); }
    // When the pending retry is due, on the window's clock; nullopt when none is.
    std::optional<qint64> nextRetryDueMs() const { return m_engine.nextRetryDueMs(); }
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
    // Blue while updating works, red after a failure.
    quint32 pictureFor(UpdateHealth health) const;
    int tickIntervalMs() const;
    // Hidden in the tray: stop the per-second tick and let the engine sleep.
    void enterQuietMode();
    // Shown again: the engine runs the ticks slept through; tick every second from the grid.
    void leaveQuietMode();

    // UpdateListener
    void captionChanged(const std::string &caption) override;
    void synced(const std::string &caption, UpdateHealth health) override;
    void outcomeShown(UpdateHealth health) override;
    void requestSent(RequestKind kind) override;

    void restoreWindow();
    bool askQuitQuestion();

    SettingsStore &m_settings;
    BrowserControl &m_browser;
    TrayShell &m_trayShell;
    PictureRegistry &m_pictures;
    Module1 m_tray;
    QStringList m_arguments;
    KeyConfirmation m_keyConfirmation;
    quint32 m_pictureA = 0;
    quint32 m_pictureB = 0;
    quint32 m_iconHandle = 0;
    bool m_loaded = false;
    BootClock m_bootClock;
    ScaledClock m_systemClock{m_bootClock};
    NetworkReachability *m_reachability = nullptr;
    // One tick in real milliseconds, at the time scale.
    int m_tickIntervalMs = int(TickMs);
    BrowserRequestChannel m_channel{m_browser};
    BootTimer m_wakeTimer;
    UpdateEngine m_engine;
    std::optional<Controls> m_controls;
    // The last answer that came before the display area was built.
    std::optional<Page> m_pendingPage;
    bool m_warnedNoTray = false;
    std::function<bool()> m_confirmQuit;
};

#endif
