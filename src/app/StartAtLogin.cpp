#include "app/StartAtLogin.h"

#include "base/AsciiText.h"
#include "base/CoreLog.h"
#include "base/Utf8.h"

#include <sstream>

namespace {

void log(CoreLog::Level level, const std::string &text)
{
    CoreLog::write(CoreLog::Area::App, level, "start at login: " + text);
}

bool usablePath(const std::string &path)
{
    if (path.empty() || path.front() != '/')
        return false;
    for (std::size_t at = 0; at < path.size();) {
        const Utf8::CodePoint point = Utf8::decode(path, at);
        if (point.value == Utf8::Invalid || point.value < 0x20 || point.value == 0x7F)
            return false;
        at += point.length;
    }
    return true;
}

// One argument of an Exec line: quoted when the desktop entry rules reserve
// any of its characters, '%' doubled (field codes), then the string escape
// that doubles every backslash the quoting wrote.
std::string execArgument(const std::string &argument)
{
    const bool quote = argument.find_first_of(" \t\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string quoted = quote ? "\"" : "";
    for (const char ch : argument) {
        if (ch == '%')
            quoted += "%%";
        else if (quote && (ch == '"' || ch == '`' || ch == '$' || ch == '\\'))
            quoted += std::string("\\") + ch;
        else
            quoted += ch;
    }
    if (quote)
        quoted += '"';
    std::string escaped;
    for (const char ch : quoted)
        escaped += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    return escaped;
}

} // namespace

StartAtLogin::Outcome StartAtLogin::keyApplied(LoginEntryPlace &place)
{
    switch (place.state()) {
    case LoginEntryPlace::State::Present:
        log(CoreLog::Level::Info, place.where() + " is there already; left as it is");
        return Outcome::Kept;
    case LoginEntryPlace::State::SwitchedOff:
        log(CoreLog::Level::Info, place.where() + " was switched off by the user; left off");
        return Outcome::SwitchedOff;
    case LoginEntryPlace::State::Missing:
        break;
    }
    std::string reason;
    if (!place.create(reason)) {
        log(CoreLog::Level::Warning, "could not make " + place.where() + ": " + reason);
        return Outcome::Failed;
    }
    log(CoreLog::Level::Info, "made " + place.where());
    return Outcome::Created;
}

std::optional<std::string> StartAtLogin::desktopEntry(const std::string &programPath)
{
    if (!usablePath(programPath))
        return std::nullopt;
    std::istringstream lines{std::string(desktopEntryTemplate())};
    std::string text;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Exec=", 0) == 0)
            line = "Exec=" + execArgument(programPath) + " /a";
        text += line + '\n';
    }
    return text;
}

bool StartAtLogin::desktopEntrySwitchedOff(const std::string &text)
{
    std::istringstream lines(text);
    bool mainGroup = false;
    for (std::string line; std::getline(lines, line);) {
        line = std::string(AsciiText::trimmed(line));
        if (!line.empty() && line.front() == '[') {
            mainGroup = line == "[Desktop Entry]";
            continue;
        }
        const std::string::size_type equals = line.find('=');
        if (!mainGroup || line.empty() || line.front() == '#' || equals == std::string::npos)
            continue;
        const std::string_view entry(line);
        const std::string_view name = AsciiText::trimmed(entry.substr(0, equals));
        const std::string_view value = AsciiText::trimmed(entry.substr(equals + 1));
        // Desktops read booleans as GLib does: "true" or "1".
        if (name == "Hidden" && (value == "true" || value == "1"))
            return true;
        if (name == "X-GNOME-Autostart-enabled" && (value == "false" || value == "0"))
            return true;
    }
    return false;
}

bool StartAtLogin::startupApprovedSwitchedOff(const std::string &bytes)
{
    return !bytes.empty() && (static_cast<unsigned char>(bytes.front()) & 1) != 0;
}
