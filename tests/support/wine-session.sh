#!/usr/bin/env bash
# Usage: wine-session.sh start|stop <prefix>
#
# start: makes a fresh Wine prefix and starts its wineserver so that it stays
# up between programs; stop: ends that server and everything Wine started in
# the prefix, then removes the prefix. Wine's output goes to /dev/null so that
# its background services never hold the caller's pipes open.
set -euo pipefail
action=${1:-}
prefix=${2:-}
if [[ -z $action || -z $prefix ]]; then
    echo "usage: $0 start|stop <prefix>" >&2
    exit 2
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

case $action in
start)
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
    wineserver -p </dev/null >/dev/null 2>&1
    # The first program sets the prefix up (6 to 15 s); later ones start at once.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$prefix"
    ;;
*)
    echo "usage: $0 start|stop <prefix>" >&2
    exit 2
    ;;
esac
