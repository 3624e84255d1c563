#include "base/CoreLog.h"

namespace {
CoreLog::Sink currentSink = nullptr;
} // namespace

void CoreLog::setSink(Sink sink)
{
    currentSink = sink;
}

void CoreLog::write(Area area, Level level, const std::string &message)
{
    if (currentSink)
        currentSink(area, level, message);
}
