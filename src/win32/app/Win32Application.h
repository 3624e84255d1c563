#ifndef TAVRIN_WIN32_APP_WIN32APPLICATION_H
#define TAVRIN_WIN32_APP_WIN32APPLICATION_H

#include "update/ScaledClock.h"
#include "win32/update/TickCountClock.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class AddressChangeWatch;
class frmTavrin;
class MessageWakeTimer;
class RequestChannel;
class SettingsStore;
class ShellTrayIcon;
class Win32Window;

// Puts the Windows program together around its settings, channel and tray
// icon: the clocks and timers, the window and the presenter that drives it.
// The one place where parts are wired to each other.
class Win32Application
{
public:
    // The parts must outlive the application. applicationName addresses the
    // window class; arguments are the command-line words after the program.
    Win32Application(HINSTANCE instance, SettingsStore &settings, RequestChannel &channel,
                     ShellTrayIcon &trayIcon, const std::string &applicationName,
                     const std::vector<std::string> &arguments);
    ~Win32Application();

    // Runs the window's start-up, then watches for the network's return.
    void start();
    // Runs the message loop until the program ends; returns its exit status.
    int run();

    // Test builds: ticks come and the clock runs scale times as fast. Default 1.
    void setTimeScale(double scale);

    frmTavrin &presenter() { return *m_presenter; }
    Win32Window &window() { return *m_window; }

private:
    TickCountClock m_tickClock;
    ScaledClock m_clock{m_tickClock};
    std::unique_ptr<MessageWakeTimer> m_wakeTimer;
    std::unique_ptr<Win32Window> m_window;
    std::unique_ptr<frmTavrin> m_presenter;
    std::unique_ptr<AddressChangeWatch> m_addressWatch;
};

#endif
