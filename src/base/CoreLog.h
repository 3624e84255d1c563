#ifndef TAVRIN_BASE_CORELOG_H
#define TAVRIN_BASE_CORELOG_H

#include <string>

// Where the core's log lines go. The platform side installs one sink at start
// that maps the areas onto its own log categories; without a sink the lines
// are dropped. Lines never hold the user's key.
class CoreLog
{
public:
    enum class Area
    {
        Update,
        Tray,
        App,
        Settings,
    };
    enum class Level
    {
        Debug,
        Info,
        Warning,
    };
    using Sink = void (*)(Area area, Level level, const std::string &message);

    // Installed once at start, before any line is written; nullptr drops them again.
    static void setSink(Sink sink);
    static void write(Area area, Level level, const std::string &message);
};

#endif
