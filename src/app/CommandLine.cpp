#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#ifndef TAVRIN_VERSION
#error "TAVRIN_VERSION must be defined by the build"
#endif

namespace {

const std::string kFallbackName = "tavrin-connector";

bool isHelpSwitch(const std::string &argument)
{
    return argument == "--help" || argument == "-h" || argument == "/?";
}

bool endsWithExe(const std::string &name)
{
    if (name.size() < 4)
        return false;
    std::string suffix = name.substr(name.size() - 4);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return suffix == ".exe";
}

} // namespace

CommandLine::Request CommandLine::request(const std::vector<std::string> &arguments)
{
    if (std::any_of(arguments.begin(), arguments.end(), isHelpSwitch))
        return Request::Help;
    if (std::find(arguments.begin(), arguments.end(), "--version") != arguments.end())
        return Request::Version;
    return Request::Run;
}

std::string CommandLine::programName(const std::string &programPath)
{
    const std::string::size_type separator = programPath.find_last_of("/\\");
    std::string name =
        separator == std::string::npos ? programPath : programPath.substr(separator + 1);
    if (endsWithExe(name))
        name.resize(name.size() - 4);
    return name.empty() ? kFallbackName : name;
}

std::string CommandLine::settingsPath(const std::string &programName, const char *xdgConfigHome,
                                      const char *home)
{
    std::string directory;
    if (xdgConfigHome && *xdgConfigHome) {
        directory = xdgConfigHome;
    } else {
        // With no home at all Qt falls back to the root directory.
        directory = home && *home ? home : "/";
        if (directory.back() != '/')
            directory += '/';
        directory += ".config";
    }
    // The settings store resolves a relative directory against the working
    // directory; the help names the same file.
    std::error_code error;
    if (directory.front() != '/') {
        const std::filesystem::path here = std::filesystem::current_path(error);
        if (!error)
            directory = (here / directory).string();
    }
    if (directory.back() != '/')
        directory += '/';
    return directory + programName + '/' + programName + ".ini";
}

std::string CommandLine::helpText(const std::string &programName,
                                  const std::string &platformParagraph)
{
    std::ostringstream text;
    text << "Aufruf: " << programName << " [/a]\n"
         << "       " << programName << " --help | --version\n"
         << "\n"
         << "Hält einen dynamischen DNS-Eintrag aktuell: das Programm ruft die gespeicherte\n"
         << "Aktualisierungsadresse in festem Abstand auf und zeigt im Infobereich, ob es\n"
         << "gelingt.\n"
         << "\n"
         << "  /a          ein Doppelklick auf das Symbol im Infobereich öffnet das Fenster\n"
         << "              (als einziges Argument, in beliebiger Schreibung)\n"
         << "  -h, --help, /?\n"
         << "              diese Hilfe zeigen und beenden\n"
         << "  --version   die Version zeigen und beenden\n"
         << "\n"
         << platformParagraph;
    return text.str();
}

std::string CommandLine::xdgHelpParagraph(const std::string &programName,
                                          const std::string &settingsPath)
{
    std::ostringstream text;
    text << "Einstellungen: " << settingsPath << "\n"
         << "  (enthält Ihren Schlüssel; der Ort folgt XDG_CONFIG_HOME)\n"
         << "Protokoll: auf der Standardfehlerausgabe (stderr), Kategorien tavrin.*;\n"
         << "  ausführlicher mit QT_LOGGING_RULES=\"tavrin.*=true\" " << programName << "\n"
         << "  Über den Autostart gestartet: im Protokoll der Sitzung (journalctl --user\n"
         << "  oder ~/.xsession-errors).\n";
    return text.str();
}

std::string CommandLine::versionText(const std::string &programName)
{
    return programName + " " + TAVRIN_VERSION + "\n" +
           "Copyright (C) 2026 The Tavrin Connector developers\n" + "Lizenz: MIT\n";
}

std::optional<int> CommandLine::answer(int argc, const char *const *argv, std::ostream &out,
                                       std::ostream &err)
{
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + std::max(argc, 0));
    const Request wanted = request(arguments);
    if (wanted == Request::Run)
        return std::nullopt;
    const std::string name = programName(argc > 0 && argv[0] ? argv[0] : "");
    if (wanted == Request::Help)
        out << helpText(name,
                        xdgHelpParagraph(name, settingsPath(name, std::getenv("XDG_CONFIG_HOME"),
                                                            std::getenv("HOME"))));
    else
        out << versionText(name);
    out.flush();
    if (out)
        return 0;
    // A full disk or closed pipe: say so rather than end as if all was printed.
    err << name << ": Ausgabe konnte nicht geschrieben werden\n";
    return 1;
}
