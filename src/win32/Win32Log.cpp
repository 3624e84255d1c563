#include "win32/Win32Log.h"

#include "win32/WideText.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {
bool debugWanted()
{
    static const bool wanted = std::getenv("TAVRIN_DEBUG") != nullptr;
    return wanted;
}

const char *category(CoreLog::Area area)
{
    switch (area) {
    case CoreLog::Area::Update:
        return "tavrin.update";
    case CoreLog::Area::Tray:
        return "tavrin.tray";
    case CoreLog::Area::App:
        return "tavrin.app";
    case CoreLog::Area::Settings:
        return "tavrin.settings";
    }
    return "tavrin";
}

// The file and its lock: lines may come from the request's worker thread.
SRWLOCK fileLock = SRWLOCK_INIT;
HANDLE file = INVALID_HANDLE_VALUE;
std::wstring path;

HANDLE openForAppending(const std::wstring &name)
{
    // Shared for deleting too, so another copy of the program can rotate it.
    return CreateFileW(name.c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Called with the lock held.
void appendToFile(const std::string &line)
{
    if (file == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) &&
        std::uint64_t(size.QuadPart) + line.size() > Win32Log::MaxFileBytes) {
        CloseHandle(file);
        MoveFileExW(path.c_str(), (path + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
        file = openForAppending(path);
        if (file == INVALID_HANDLE_VALUE)
            return;
    }
    DWORD written = 0;
    WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
}

std::string timeAndProcess()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u [%lu] ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond,
                  static_cast<unsigned long>(GetCurrentProcessId()));
    return text;
}
} // namespace

std::wstring Win32Log::fileName(const std::string &programName)
{
    const std::wstring name = WideText::fromUtf8(programName);
    return name + L"\\" + name + L".log";
}

std::wstring Win32Log::filePath(const std::string &programName)
{
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (length == 0)
        return {};
    std::wstring folder(length, L'\0');
    folder.resize(GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), length));
    return folder + L"\\" + fileName(programName);
}

bool Win32Log::openFile(const std::string &programName)
{
    const std::wstring wanted = filePath(programName);
    if (wanted.empty())
        return false;
    CreateDirectoryW(wanted.substr(0, wanted.find_last_of(L'\\')).c_str(), nullptr);
    const HANDLE opened = openForAppending(wanted);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    AcquireSRWLockExclusive(&fileLock);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    file = opened;
    path = wanted;
    ReleaseSRWLockExclusive(&fileLock);
    return true;
}

void Win32Log::write(CoreLog::Area area, CoreLog::Level level, const std::string &message)
{
    if (level == CoreLog::Level::Debug && !debugWanted())
        return;
    const char *prefix = level == CoreLog::Level::Warning ? "warning: " : "";
    const std::string line = std::string(category(area)) + ": " + prefix + message;
    // One call per line, so lines from two threads never interleave.
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    AcquireSRWLockExclusive(&fileLock);
    appendToFile(timeAndProcess() + line + "\r\n");
    ReleaseSRWLockExclusive(&fileLock);
}
