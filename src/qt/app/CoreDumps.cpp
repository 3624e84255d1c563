#include "qt/app/CoreDumps.h"

#include "qt/Log.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>

bool disableCoreDumps()
{
    // A zero limit rather than PR_SET_DUMPABLE: /proc/<pid> stays readable by
    // the user (memory figures, debuggers), and crash collectors that a pipe in
    // core_pattern starts honour the limit too.
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_CORE, &none) != 0) {
        qCWarning(lcApp) << "could not switch core dumps off:" << std::strerror(errno);
        return false;
    }
    return true;
}
