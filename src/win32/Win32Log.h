#ifndef TAVRIN_WIN32_WIN32LOG_H
#define TAVRIN_WIN32_WIN32LOG_H

#include "base/CoreLog.h"

#include <string>

// The Windows program's log, the core's sink: every line, the core's and the
// front end's, goes to standard error as "<category>: <text>", one category per
// area (tavrin.update, tavrin.tray, tavrin.app, tavrin.settings). Debug lines are
// written only while TAVRIN_DEBUG is set. Lines never hold the user's key.
namespace Win32Log {
void write(CoreLog::Area area, CoreLog::Level level, const std::string &message);
}

#endif
