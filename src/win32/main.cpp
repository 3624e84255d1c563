#include "app/CommandLine.h"
#include "app/frmTavrin.h"
#include "win32/WideText.h"
#include "win32/Win32Log.h"
#include "win32/app/RunKeyEntry.h"
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

std::wstring modulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string helpText(const std::string &name)
{
    const std::wstring logFile = Win32Log::filePath(name);
    return CommandLine::helpText(
        name, "Einstellungen: HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\" + name +
                  "\\settings\n"
                  "  (enthält Ihren Schlüssel)\n"
                  "Protokoll: " +
                  WideText::toUtf8(logFile.empty() ? L"%LOCALAPPDATA%\\" + Win32Log::fileName(name)
                                                   : logFile) +
                  "\n"
                  "  und auf der Standardfehlerausgabe, Kategorien tavrin.*;\n"
                  "  ausführlicher mit TAVRIN_DEBUG=1.\n");
}

// Started from Explorer or a shortcut the program has no standard output (or
// one that takes nothing): the answer goes into a message box instead.
int answer(const std::string &name, const std::string &text)
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN &&
        std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0)
        return 0;
    return MessageBoxW(nullptr, WideText::fromUtf8(text).c_str(), WideText::fromUtf8(name).c_str(),
                       MB_OK | MB_ICONINFORMATION) != 0
               ? 0
               : 1;
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    const std::vector<std::string> words = commandLineWords();
    const std::vector<std::string> arguments(words.begin() + (words.empty() ? 0 : 1), words.end());
    const std::wstring exePath = modulePath();
    const std::string name = CommandLine::programName(WideText::toUtf8(exePath));
    // --help and --version answer before any window, mutex or setting exists.
    if (const CommandLine::Request request = CommandLine::request(arguments);
        request != CommandLine::Request::Run)
        return answer(name, request == CommandLine::Request::Help ? helpText(name)
                                                                  : CommandLine::versionText(name));
    // The log file first, so that every line is in it, the hand-over's too.
    const bool logFileOpen = Win32Log::openFile(name);
    CoreLog::setSink(&Win32Log::write);
    if (!logFileOpen)
        CoreLog::write(CoreLog::Area::App, CoreLog::Level::Warning,
                       "cannot open the log file " + WideText::toUtf8(Win32Log::filePath(name)));
    // One program per executable name (and so per settings key): a later start
    // only asks the running one to show its window.
    SingleInstance single(name);
    if (single.claim() != SingleInstance::Outcome::Primary)
        return 0;
    RegistrySettingsStore settings(name);
    WinInetRequestChannel channel;
    ShellTrayIcon trayIcon;
    RunKeyEntry loginEntry(name, exePath);
    Win32Application tavrin(instance, settings, channel, trayIcon, name, arguments);
    tavrin.presenter().setLoginEntry(&loginEntry);
#ifdef TAVRIN_TEST_HOOKS
    // Test builds only: TAVRIN_TIME_SCALE=10 makes the window's seconds pass in
    // 0.1 s, so end-to-end checks of countdown and retries need not wait minutes.
    if (const char *scale = std::getenv("TAVRIN_TIME_SCALE"))
        tavrin.setTimeScale(std::atof(scale));
#endif
    tavrin.start();
    return tavrin.run();
}
