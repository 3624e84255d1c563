#!/usr/bin/env bash
# Builds (installing what is missing) and starts the program. Arguments go to the
# program (for example /a). Without a display it starts a virtual desktop with a
# window manager and a tray host first, so the program runs and logs its requests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"

if [[ -z "${DISPLAY:-}" ]]; then
    # shellcheck source=scripts/desktop.sh
    source "$root/scripts/desktop.sh"
    desktop_start
    trap desktop_stop EXIT
    echo "No display: running on virtual display $DISPLAY (window manager and tray host started)."
fi
QT_LOGGING_RULES="${QT_LOGGING_RULES:-tavrin.*=true}" "$build/src/tavrin-connector" "$@"
