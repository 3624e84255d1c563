#ifndef TAVRIN_WIN32_WIN32LOG_H
#define TAVRIN_WIN32_WIN32LOG_H

#include "base/CoreLog.h"

#include <cstdint>
#include <string>

// The Windows program's log, the core's sink: every line, the core's and the
// front end's, goes to standard error as "<category>: <text>", one category per
// area (tavrin.update, tavrin.tray, tavrin.app, tavrin.settings), and, once the
// file is open, to a file a user can find, with the time and process id in
// front. Debug lines are written only while TAVRIN_DEBUG is set. Lines never
// hold the user's key.
namespace Win32Log {

// One file's size limit: the full file is renamed to "<file>.1" (replacing
// the older one), so the log takes at most twice this.
constexpr std::uint64_t MaxFileBytes = 192 * 1024;

// <programName>\<programName>.log, the file's place under %LOCALAPPDATA%.
std::wstring fileName(const std::string &programName);
// %LOCALAPPDATA%\fileName(programName), expanded; empty without LOCALAPPDATA.
std::wstring filePath(const std::string &programName);
// Writes the following lines to filePath(programName) too; false when it
// cannot be opened (the lines still go to standard error).
bool openFile(const std::string &programName);
void write(CoreLog::Area area, CoreLog::Level level, const std::string &message);

} // namespace Win32Log

#endif
