#!/usr/bin/env bash
# Builds (installing what is missing) and starts the program. Arguments go to the
# program (for example /a). Without a display it starts a virtual desktop with a
# window manager and a tray host first, so the program runs and logs its requests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"

export QT_LOGGING_RULES="${QT_LOGGING_RULES:-tavrin.*=true}"
if [[ -z "${DISPLAY:-}" ]]; then
    echo "No display: running on a virtual display with a window manager and a tray host."
    exec "$root/tests/support/with-desktop.sh" "$build/src/qt/tavrin-connector" "$@"
fi
exec "$build/src/qt/tavrin-connector" "$@"
