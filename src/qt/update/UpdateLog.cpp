#include "qt/update/UpdateLog.h"

Q_LOGGING_CATEGORY(lcUpdate, "tavrin.update")
