#ifndef TAVRIN_UPDATE_UPDATELOG_H
#define TAVRIN_UPDATE_UPDATELOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUpdate)

#endif
