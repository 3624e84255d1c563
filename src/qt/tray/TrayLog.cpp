#include "qt/tray/TrayLog.h"

Q_LOGGING_CATEGORY(lcTray, "tavrin.tray")
