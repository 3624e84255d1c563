#include "qt/Log.h"

#include "base/CoreLog.h"

#include <QString>

Q_LOGGING_CATEGORY(lcApp, "tavrin.app")
Q_LOGGING_CATEGORY(lcSettings, "tavrin.settings")
Q_LOGGING_CATEGORY(lcTray, "tavrin.tray")
Q_LOGGING_CATEGORY(lcUpdate, "tavrin.update")

namespace {

void toCategory(CoreLog::Area area, CoreLog::Level level, const std::string &message)
{
    const QLoggingCategory &(*category)() = lcUpdate;
    if (area == CoreLog::Area::Tray)
        category = lcTray;
    else if (area == CoreLog::Area::App)
        category = lcApp;
    else if (area == CoreLog::Area::Settings)
        category = lcSettings;
    const QString text = QString::fromStdString(message);
    switch (level) {
    case CoreLog::Level::Debug:
        qCDebug(category).noquote() << text;
        break;
    case CoreLog::Level::Info:
        qCInfo(category).noquote() << text;
        break;
    case CoreLog::Level::Warning:
        qCWarning(category).noquote() << text;
        break;
    }
}

} // namespace

void installCoreLogSink()
{
    CoreLog::setSink(toCategory);
}
