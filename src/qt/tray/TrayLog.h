#ifndef TAVRIN_QT_TRAY_TRAYLOG_H
#define TAVRIN_QT_TRAY_TRAYLOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTray)

#endif
