#!/usr/bin/env bash
# Builds (installing what is missing) and starts the program. Arguments go to the
# program (for example /a). Without a display it starts a virtual desktop with a
# window manager and a tray host first, so the program runs and logs its requests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"

program_pid=""
stop_all() {
    [[ -n "$program_pid" ]] && kill "$program_pid" 2>/dev/null
    [[ -n "$program_pid" ]] && wait "$program_pid" 2>/dev/null
    declare -F desktop_stop >/dev/null && desktop_stop
}
trap stop_all EXIT
trap 'exit 130' INT TERM

if [[ -z "${DISPLAY:-}" ]]; then
    # shellcheck source=scripts/desktop.sh
    source "$root/scripts/desktop.sh"
    desktop_start
    echo "No display: running on virtual display $DISPLAY (window manager and tray host started)."
fi
QT_LOGGING_RULES="${QT_LOGGING_RULES:-tavrin.*=true}" "$build/src/tavrin-connector" "$@" &
program_pid=$!
status=0
wait "$program_pid" || status=$?
program_pid=""
exit "$status"
