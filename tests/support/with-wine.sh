#!/usr/bin/env bash
# Usage: with-wine.sh <command> [args...]
#
# Runs the command with a Wine prefix of its own (WINEPREFIX, in a temporary
# folder) whose wineserver is started before it and ended after it, on the
# display the caller gives (run it inside with-desktop.sh). Wine's services
# come up on that display, so tray icons dock in its tray. The prefix is
# removed at the end; the exit status is the command's.
set -uo pipefail
if (($# == 0)); then
    echo "usage: $0 <command> [args...]" >&2
    exit 2
fi
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# WinINet would send loopback requests to a proxy.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
wineserver -p </dev/null >/dev/null 2>&1
# Sets the prefix up (6 to 15 s); Wine's output would hold the caller's pipes.
wine cmd /c exit </dev/null >/dev/null 2>&1
"$@" &
wait "$!"
