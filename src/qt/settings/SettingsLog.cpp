#include "qt/settings/SettingsLog.h"

Q_LOGGING_CATEGORY(lcSettings, "tavrin.settings")
