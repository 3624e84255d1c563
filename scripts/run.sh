#!/usr/bin/env bash
# Builds the program alone (installing what is missing; no tests, fuzzers or
# benchmarks) and starts it. Arguments go to the program (for example /a).
# Without a display it starts a virtual desktop with a window manager and a tray
# host first, so the program runs and logs its requests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" --target tavrin-connector

export QT_LOGGING_RULES="${QT_LOGGING_RULES:-tavrin.*=true}"
if [[ -z "${DISPLAY:-}" ]]; then
    echo "No display: running on a virtual display with a window manager and a tray host."
    exec "$root/tests/support/with-desktop.sh" "$build/src/qt/tavrin-connector" "$@"
fi
exec "$build/src/qt/tavrin-connector" "$@"
