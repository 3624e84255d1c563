// Starts up as the program does, as far as the instance check goes, and reports
// on stdout what happened, so tests can watch many starts without a display.
// A primary ends cleanly when its stdin closes or when it is replaced.
#include "app/CommandLine.h"
#include "qt/CoreTypes.h"
#include "qt/app/SingleInstance.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {
void report(const char *line)
{
    std::fputs(line, stdout);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString programPath = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    SingleInstance instance(toQt(CommandLine::programName(toStd(programPath))));
    if (instance.claim() == SingleInstance::Outcome::HandedOver) {
        report("handed over\n");
        return 0;
    }
    QObject::connect(&instance, &SingleInstance::showRequested, [] { report("show received\n"); });
    QObject::connect(&instance, &SingleInstance::replaced, [] {
        report("replaced\n");
        QCoreApplication::quit();
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    report("primary\n");
    return QCoreApplication::exec();
}
