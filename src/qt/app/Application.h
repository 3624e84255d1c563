#ifndef TAVRIN_QT_APP_APPLICATION_H
#define TAVRIN_QT_APP_APPLICATION_H

#include "qt/update/BootTimer.h"
#include "tray/TrayClickPairing.h"
#include "update/ScaledClock.h"

#include <QStringList>

#include <memory>

class Clock;
class frmTavrin;
class NetworkReachability;
class PictureRegistry;
class RequestChannel;
class SettingsStore;
class TavrinWindow;
class TrayShell;

// Puts the program together: the per-user settings of this executable name, the
// request channel, the tray, the clocks and timers, the window and the
// presenter that drives it. The one place where parts are wired to each other.
class Application
{
public:
    // How long after start-up the network is watched: loading the watcher's
    // backend takes a while, and the tray icon and first request need not wait.
    static constexpr int WatchNetworkAfterMs = 2000;

    // The program's own parts. programPath is the program as started (its base
    // name addresses the settings); arguments are the command-line words after it.
    Application(const QString &programPath, const QStringList &arguments);
    // Given parts, which must outlive the application.
    Application(SettingsStore &settings, RequestChannel &channel, TrayShell &trayShell,
                PictureRegistry &pictures, const QStringList &arguments);
    ~Application();

    // Runs the window's start-up, then watches the network.
    void start();

    frmTavrin &presenter() { return *m_presenter; }
    TavrinWindow &window() { return *m_window; }

    // The clock retries, wake-ups and the tray's double clicks are measured on;
    // nullptr returns to the system's (boot time, suspend included; double
    // clicks unscaled). It must outlive the application.
    void setClock(const Clock *clock);
    // Tells the presenter when the network is back, instead of the system's
    // watcher. The object must outlive the application.
    void setReachability(NetworkReachability *reachability);
    // Test builds: ticks come and the clock runs scale times as fast, so minutes
    // of countdown and retry delays pass in seconds. Default 1.
    void setTimeScale(double scale);
    double timeScale() const { return m_systemClock.factor(); }

private:
    struct OwnParts;
    Application(std::unique_ptr<OwnParts> own, const QStringList &arguments);

    std::unique_ptr<OwnParts> m_own;
    BootClock m_bootClock;
    ScaledClock m_systemClock{m_bootClock};
    // Real time, whatever the time scale: the user's clicks are not sped up.
    TrayClickPairing m_clickPairing;
    std::unique_ptr<BootTimer> m_wakeTimer;
    std::unique_ptr<TavrinWindow> m_window;
    std::unique_ptr<frmTavrin> m_presenter;
    TrayShell *m_trayShell;
    NetworkReachability *m_reachability = nullptr;
};

#endif
