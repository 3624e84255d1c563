#include "qt/CoreLogBridge.h"

#include "qt/app/AppLog.h"
#include "qt/settings/SettingsLog.h"
#include "qt/tray/TrayLog.h"
#include "qt/update/UpdateLog.h"
#include "update/CoreLog.h"

#include <QString>

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

void CoreLogBridge::install()
{
    CoreLog::setSink(toCategory);
}
