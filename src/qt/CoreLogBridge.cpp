#include "qt/CoreLogBridge.h"

#include "qt/tray/TrayLog.h"
#include "qt/update/UpdateLog.h"
#include "update/CoreLog.h"

#include <QString>

namespace {

void toCategory(CoreLog::Area area, CoreLog::Level level, const std::string &message)
{
    const QLoggingCategory &(*category)() = area == CoreLog::Area::Tray ? lcTray : lcUpdate;
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
