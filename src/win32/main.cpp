#include "app/CommandLine.h"
#include "win32/WideText.h"
#include "win32/app/SingleInstance.h"
#include "win32/app/Win32Application.h"
#include "win32/settings/RegistrySettingsStore.h"
#include "win32/tray/ShellTrayIcon.h"
#include "win32/update/WinInetRequestChannel.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
std::vector<std::string> commandLineWords()
{
    std::vector<std::string> words;
    int count = 0;
    if (LPWSTR *list = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            words.push_back(WideText::toUtf8(list[i]));
        LocalFree(list);
    }
    return words;
}

std::string modulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return WideText::toUtf8(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string helpText(const std::string &name)
{
    return CommandLine::helpText(
        name, "Einstellungen: HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\" + name +
                  "\\settings\n"
                  "  (enthält Ihren Schlüssel)\n"
                  "Protokoll: auf der Standardfehlerausgabe, Kategorien tavrin.*;\n"
                  "  ausführlicher mit TAVRIN_DEBUG=1.\n");
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    const std::vector<std::string> words = commandLineWords();
    const std::vector<std::string> arguments(words.begin() + (words.empty() ? 0 : 1), words.end());
    const std::string name = CommandLine::programName(modulePath());
    // --help and --version answer before any window, mutex or setting exists.
    if (const CommandLine::Request request = CommandLine::request(arguments);
        request != CommandLine::Request::Run) {
        const std::string text =
            request == CommandLine::Request::Help ? helpText(name) : CommandLine::versionText(name);
        return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
    }
    // One program per executable name (and so per settings key): a later start
    // only asks the running one to show its window.
    SingleInstance single(name);
    if (single.claim() != SingleInstance::Outcome::Primary)
        return 0;
    RegistrySettingsStore settings(name);
    WinInetRequestChannel channel;
    ShellTrayIcon trayIcon;
    Win32Application tavrin(instance, settings, channel, trayIcon, name, arguments);
#ifdef TAVRIN_TEST_HOOKS
    // Test builds only: TAVRIN_TIME_SCALE=10 makes the window's seconds pass in
    // 0.1 s, so end-to-end checks of countdown and retries need not wait minutes.
    if (const char *scale = std::getenv("TAVRIN_TIME_SCALE"))
        tavrin.setTimeScale(std::atof(scale));
#endif
    tavrin.start();
    return tavrin.run();
}
