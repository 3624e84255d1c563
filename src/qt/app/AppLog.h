#ifndef TAVRIN_QT_APP_APPLOG_H
#define TAVRIN_QT_APP_APPLOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

#endif
