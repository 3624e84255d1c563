#ifndef TAVRIN_WIN32_APP_SINGLEINSTANCE_H
#define TAVRIN_WIN32_APP_SINGLEINSTANCE_H

#include <windows.h>

#include <string>

// One running program per application name and user, on a named mutex in the
// session's Local\ namespace. The first start keeps the mutex open while it
// runs; the system closes it when the process ends, crashed or not, so
// nothing is left that blocks the next start. A later start finds the first
// one's main window by its class (windowClassName(), which the main window
// registers), lets it take the foreground and posts it showRequestMessage().
// Names differing only in case are one program, as they are one file and one
// registry key.
class SingleInstance
{
public:
    enum class Outcome
    {
        Primary,    // this is the first start: run
        HandedOver, // the first start was asked to show itself: exit
        NoWindow,   // another start holds the name but showed no window in time: exit
    };

    // How long a later start waits for the first one's window to appear.
    static constexpr DWORD DefaultWaitMs = 2000;

    explicit SingleInstance(const std::string &applicationName);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // Claims the name once; a later start hands over and keeps no hold on it.
    Outcome claim(DWORD waitMs = DefaultWaitMs);
    bool isPrimary() const { return m_primary; }

    // These names depend on the application name only (in any case) and
    // hold no backslash after the namespace.
    static std::wstring mutexName(const std::string &applicationName);
    static std::wstring windowClassName(const std::string &applicationName);
    // The registered message a later start posts to the main window.
    static UINT showRequestMessage();

private:
    Outcome handOver(DWORD waitMs);

    std::string m_applicationName;
    HANDLE m_mutex = nullptr;
    bool m_primary = false;
};

#endif
