#include "app/CommandLine.h"
#include "app/frmTavrin.h"
#include "qt/CoreTypes.h"
#include "qt/app/Application.h"
#include "qt/app/CoreDumps.h"
#include "qt/app/SingleInstance.h"
#include "qt/app/TavrinWindow.h"
#include "qt/app/Translations.h"

#include <QApplication>
#include <QLocale>

#include <iostream>

int main(int argc, char *argv[])
{
    disableCoreDumps();
    // --help and --version answer before anything needs a display, the
    // instance lock or the settings.
    if (const std::optional<int> status = CommandLine::answer(argc, argv, std::cout, std::cerr))
        return *status;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Translations::installQtTranslations(QLocale());
    const QString programPath = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    // One program per executable name (and so per settings file): a later start
    // only asks the running one to show its window, before any window, tray icon
    // or request of its own exists.
    SingleInstance instance(toQt(CommandLine::programName(toStd(programPath))));
    if (instance.claim() != SingleInstance::Outcome::Primary)
        return 0;
    Application tavrin(programPath, QApplication::arguments().mid(1));
    tavrin.start();
    QObject::connect(&instance, &SingleInstance::showRequested, &tavrin.window(),
                     [&tavrin] { tavrin.presenter().optionen_Click(); });
    // Replaced by a later start: end calmly, as closing the window does.
    QObject::connect(&instance, &SingleInstance::replaced, &tavrin.window(),
                     [&tavrin] { tavrin.presenter().Form_Unload(); });
#ifdef TAVRIN_TEST_HOOKS
    // Test builds only: TAVRIN_TIME_SCALE=10 makes the window's seconds pass in
    // 0.1 s, so end-to-end checks of countdown and retries need not wait minutes.
    bool scaled = false;
    const double timeScale = qEnvironmentVariable("TAVRIN_TIME_SCALE").toDouble(&scaled);
    if (scaled)
        tavrin.setTimeScale(timeScale);
#endif
    return QApplication::exec();
}
