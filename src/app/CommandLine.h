#ifndef TAVRIN_APP_COMMANDLINE_H
#define TAVRIN_APP_COMMANDLINE_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The switches the program answers by itself, before any window, lock or
// settings exist: --help (also -h and /?) and --version. Every other argument
// is left to the program, which reads the lower-cased command line as it
// always has.
// Plain standard C++, so it needs neither Qt nor a display.
class CommandLine
{
public:
    enum class Request
    {
        Run,
        Help,
        Version
    };

    // What the arguments after the program's own path ask for. A help switch
    // anywhere wins over a version switch; switches are case-sensitive, so
    // "/a" and any other word keep their meaning.
    static Request request(const std::vector<std::string> &arguments);

    // The executable's base name (either separator, ".exe" dropped), which also
    // names its settings and its single instance; never empty.
    static std::string programName(const std::string &programPath);

    // Where the settings of programName live: $XDG_CONFIG_HOME, else ~/.config.
    // Null or empty environment values count as unset.
    static std::string settingsPath(const std::string &programName, const char *xdgConfigHome,
                                    const char *home);

    // The usage and the switches, the same on every platform, followed by the
    // platform's own paragraph: where the settings and the log are.
    static std::string helpText(const std::string &programName,
                                const std::string &platformParagraph);
    // That paragraph on the desktops with XDG settings and a stderr log.
    static std::string xdgHelpParagraph(const std::string &programName,
                                        const std::string &settingsPath);
    static std::string versionText(const std::string &programName);

    // Answers --help or --version on out and returns the exit status (1 if the
    // answer could not be written); returns nothing when the program should run.
    static std::optional<int> answer(int argc, const char *const *argv, std::ostream &out,
                                     std::ostream &err);
};

#endif // TAVRIN_APP_COMMANDLINE_H
