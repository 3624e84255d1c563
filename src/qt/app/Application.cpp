#include "qt/app/Application.h"

#include "app/frmTavrin.h"
#include "qt/CoreLogBridge.h"
#include "qt/app/AppLog.h"
#include "qt/settings/IniSettingsStore.h"
#include "qt/tray/PictureRegistry.h"
#include "qt/tray/SystemTrayShell.h"
#include "qt/update/NetworkBrowser.h"

#include <QCoreApplication>

Application::Application(const QString &programPath, const QStringList &arguments)
    : m_settings(
          std::make_unique<IniSettingsStore>(IniSettingsStore::applicationName(programPath))),
      m_browser(std::make_unique<NetworkBrowser>()),
      m_pictures(std::make_unique<PictureRegistry>()),
      m_trayShell(std::make_unique<SystemTrayShell>(*m_pictures)),
      m_window(std::make_unique<frmTavrin>(*m_settings, *m_browser, *m_trayShell, *m_pictures,
                                           arguments))
{
    CoreLogBridge::install();
    qCInfo(lcApp) << "settings file" << m_settings->filePath();
    m_trayShell->setContextMenu(m_window->datei);
    // The program ends only through the window: a closed message box or pop-up
    // while the window hides in the tray must not end it.
    QObject::connect(m_window.get(), &frmTavrin::unloaded, qApp, &QCoreApplication::quit);
    QObject::connect(m_window.get(), &frmTavrin::quitConfirmed, qApp, &QCoreApplication::quit);
    m_window->Form_Load();
}

Application::~Application() = default;
