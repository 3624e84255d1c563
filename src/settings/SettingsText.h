#ifndef TAVRIN_SETTINGS_SETTINGSTEXT_H
#define TAVRIN_SETTINGS_SETTINGSTEXT_H

#include <optional>
#include <string>
#include <string_view>

// The settings file's text, UTF-8: "[group]" lines and "name=value" lines.
//
// A line ends at "\n" (a "\r" before it belongs to the end). A line whose
// first non-blank character is '[' and which holds a ']' starts a group, named
// by what is between them; a line with '=' holds a value, named by what is
// before the first '='; blanks (spaces and tabs) around names and values do
// not count. Every other line (comments, anything not understood) is ignored
// when reading and kept byte for byte when writing, as are all other values
// and groups. Of several values of one name in a group, the last counts.
//
// A value is written on its line with these escapes: "\\" a backslash, "\n",
// "\r" and "\t" line breaks and a tab, "\x" and hex digits any other control
// character (the digits run to the first character that is none), "\"" a
// leading quote; a value with blanks at either end is put in quotes. A
// leading '@' is doubled. Reading undoes these, and also reads what earlier
// versions wrote through QSettings' rules: "\a", "\b", "\f", "\v", "\0",
// quotes and "@String(...)" around a value. A backslash before anything else
// stays as it is.
namespace SettingsText {

// Why data is not settings text (it holds a NUL byte or is not UTF-8), or ""
// when it is.
std::string problem(std::string_view data);

// The value called name in group, if data has one.
std::optional<std::string> value(std::string_view data, std::string_view group,
                                 std::string_view name);

// data with name in group set to value: the value of the line value() reads
// is replaced, or a line is added after the group's last value (a group is
// added at the end when there is none). Everything else stays byte for byte.
// Bytes of value that are not UTF-8 are written as U+FFFD.
std::string withValue(std::string_view data, std::string_view group, std::string_view name,
                      std::string_view value);

} // namespace SettingsText

#endif
