#ifndef TAVRIN_QT_LOG_H
#define TAVRIN_QT_LOG_H

#include <QLoggingCategory>

// The program's log categories, one an area; QT_LOGGING_RULES filters them.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcTray)
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)

// Sends the core's log lines to the category of their area.
void installCoreLogSink();

#endif
