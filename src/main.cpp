#include "app/Application.h"
#include "app/SingleInstance.h"
#include "app/frmTavrin.h"
#include "settings/IniSettingsStore.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString programPath = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    // One program per executable name (and so per settings file): a later start
    // only asks the running one to show its window, before any window, tray icon
    // or request of its own exists.
    SingleInstance instance(IniSettingsStore::applicationName(programPath));
    if (instance.claim() != SingleInstance::Outcome::Primary)
        return 0;
    Application tavrin(programPath, QApplication::arguments().mid(1));
    QObject::connect(&instance, &SingleInstance::showRequested, &tavrin.window(),
                     &frmTavrin::optionen_Click);
    return QApplication::exec();
}
