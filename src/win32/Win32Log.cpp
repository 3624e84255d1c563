#include "win32/Win32Log.h"

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
} // namespace

void Win32Log::write(CoreLog::Area area, CoreLog::Level level, const std::string &message)
{
    if (level == CoreLog::Level::Debug && !debugWanted())
        return;
    const char *prefix = level == CoreLog::Level::Warning ? "warning: " : "";
    // One call per line, so lines from two threads never interleave.
    std::fprintf(stderr, "%s: %s%s\n", category(area), prefix, message.c_str());
    std::fflush(stderr);
}
