#include "app/Application.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString programPath = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    Application tavrin(programPath, QApplication::arguments().mid(1));
    return QApplication::exec();
}
