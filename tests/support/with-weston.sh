#!/usr/bin/env bash
# Usage: with-weston.sh <command> [args...]
#
# Runs the command as a Wayland client of a private headless weston (its own
# runtime directory and socket): QT_QPA_PLATFORM=wayland and an absolute
# WAYLAND_DISPLAY are exported, DISPLAY is dropped. weston is ended when the
# script exits; its exit status is the command's.
set -uo pipefail

if (($# == 0)); then
    echo "usage: $0 <command> [args...]" >&2
    exit 2
fi

home=$(mktemp -d)
mkdir -m 0700 "$home/runtime"
weston_pid=
cleanup() {
    [[ -n $weston_pid ]] && kill "$weston_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

XDG_RUNTIME_DIR=$home/runtime weston --backend=headless-backend.so --socket=wayland-tavrin \
    --width=1024 --height=768 --idle-time=0 >"$home/weston.log" 2>&1 &
weston_pid=$!
for ((tries = 0; tries < 100; tries++)); do
    [[ -S $home/runtime/wayland-tavrin ]] && break
    sleep 0.1
done
if [[ ! -S $home/runtime/wayland-tavrin ]]; then
    echo "with-weston: weston did not come up: $(tail -n 3 "$home/weston.log")" >&2
    exit 1
fi

unset DISPLAY
export QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=$home/runtime/wayland-tavrin
"$@" &
wait "$!"
