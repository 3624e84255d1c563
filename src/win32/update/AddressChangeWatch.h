#ifndef TAVRIN_WIN32_UPDATE_ADDRESSCHANGEWATCH_H
#define TAVRIN_WIN32_UPDATE_ADDRESSCHANGEWATCH_H

#include <windows.h>

#include "win32/MessageWindow.h"
#include <winsock2.h>

#include <functional>

// Tells when the network comes back: Windows signals every change of the
// machine's IP addresses, and after each one the watch asks whether an
// interface other than loopback is up with an address. The handler runs on the
// thread that made the watch, once for each return.
class AddressChangeWatch
{
public:
    using Probe = std::function<bool()>;

    // probe says whether the network is reachable now; the system's answer by default.
    explicit AddressChangeWatch(std::function<void()> onBack,
                                Probe probe = &AddressChangeWatch::systemReachable);
    ~AddressChangeWatch();
    AddressChangeWatch(const AddressChangeWatch &) = delete;
    AddressChangeWatch &operator=(const AddressChangeWatch &) = delete;

    // Signalled by the system at each change; a test may signal it too.
    HANDLE changeEvent() const { return m_overlapped.hEvent; }
    bool reachable() const { return m_reachable; }

    static bool systemReachable();

private:
    static void CALLBACK changed(void *watch, BOOLEAN timedOut);
    void arm();
    void check();

    std::function<void()> m_onBack;
    Probe m_probe;
    MessageWindow m_window;
    OVERLAPPED m_overlapped{};
    HANDLE m_wait = nullptr;
    bool m_armed = false;
    bool m_reachable = false;
};

#endif
