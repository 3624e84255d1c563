#include "qt/app/AppLog.h"

Q_LOGGING_CATEGORY(lcApp, "tavrin.app")
