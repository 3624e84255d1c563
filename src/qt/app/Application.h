#ifndef TAVRIN_QT_APP_APPLICATION_H
#define TAVRIN_QT_APP_APPLICATION_H

#include <QStringList>

#include <memory>

class frmTavrin;
class IniSettingsStore;
class NetworkBrowser;
class PictureRegistry;
class SystemTrayShell;

// Puts the program together: the per-user settings of this executable name, the
// request channel, the tray and the window, then runs the window's start-up.
class Application
{
public:
    // programPath is the program as started (its base name addresses the settings);
    // arguments are the command-line words after it.
    Application(const QString &programPath, const QStringList &arguments);
    ~Application();

    frmTavrin &window() { return *m_window; }

private:
    std::unique_ptr<IniSettingsStore> m_settings;
    std::unique_ptr<NetworkBrowser> m_browser;
    std::unique_ptr<PictureRegistry> m_pictures;
    std::unique_ptr<SystemTrayShell> m_trayShell;
    std::unique_ptr<frmTavrin> m_window;
};

#endif
