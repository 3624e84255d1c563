#ifndef TAVRIN_QT_SETTINGS_SETTINGSLOG_H
#define TAVRIN_QT_SETTINGS_SETTINGSLOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSettings) // defined in IniSettingsStore.cpp

#endif
