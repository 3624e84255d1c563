#ifndef TAVRIN_TRAY_TRAYLOG_H
#define TAVRIN_TRAY_TRAYLOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcTray)

#endif
