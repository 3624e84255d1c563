#ifndef TAVRIN_WIN32_WIN32LOG_H
#define TAVRIN_WIN32_WIN32LOG_H

#include "update/CoreLog.h"

#include <string>

// The Windows program's log: every line, the core's and the front end's, goes
// to standard error as "<category>: <text>", one category per area
// (tavrin.update, tavrin.tray, tavrin.app, tavrin.settings). Debug lines are
// written only while TAVRIN_DEBUG is set. Lines never hold the user's key.
class Win32Log
{
public:
    // Makes this the core's sink.
    static void install();
    static void write(CoreLog::Area area, CoreLog::Level level, const std::string &message);
    // The category an area's lines carry.
    static const char *category(CoreLog::Area area);
};

#endif
