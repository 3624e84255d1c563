#!/usr/bin/env bash
# Usage: with-desktop.sh [--sni | --no-tray | --fixed-tray] <command> [args...]
#
# Runs the command on a private virtual desktop: an Xvfb display, openbox as
# window manager and trayer as tray host (XEmbed system tray); with --no-tray
# there is no tray host, for a command that starts its own. DISPLAY and a
# private D-Bus session bus are exported for the command; with no
# StatusNotifierItem host on that bus, Qt uses the X11 tray.
# With --fixed-tray trayer's panel has a fixed width of 64 pixels: Wine keeps
# the size a panel that grows with its icons had before the icon came, and
# every click on the icon would be lost. With --sni the tray host is instead xfce4-panel with only its notification
# area, on a private D-Bus session bus, so Qt uses a StatusNotifierItem.
# TAVRIN_DESKTOP_SIZE (default 1024x768) sets the screen size.
# Everything started here is ended when the script exits; its exit status is
# the command's.
set -uo pipefail

arguments=("$@")
sni=
with_tray=1
tray_width=(--widthtype request)
case ${1:-} in
--fixed-tray)
    tray_width=(--widthtype pixel --width 64)
    shift
    ;;
--sni)
    sni=1
    shift
    ;;
--no-tray)
    with_tray=
    shift
    ;;
esac
if (($# == 0)); then
    echo "usage: $0 [--sni | --no-tray | --fixed-tray] <command> [args...]" >&2
    exit 2
fi

# This script again inside a session bus of its own: the program keeps one copy
# per name on it, never on the user's bus. The panel's settings service is
# started by the bus and reads the panel layout from XDG_CONFIG_HOME, so with
# --sni a fresh configuration directory comes before the bus.
if [[ -z ${TAVRIN_PRIVATE_BUS:-} ]]; then
    panel_home=
    if [[ -n $sni ]]; then
        panel_home=$(mktemp -d)
        channels="$panel_home/xfce4/xfconf/xfce-perchannel-xml"
        mkdir -p "$channels"
        cp "$(dirname "$0")/xfce4-panel.xml" "$channels/"
        export XDG_CONFIG_HOME=$panel_home
    fi
    TAVRIN_PRIVATE_BUS=1 dbus-run-session -- "$0" "${arguments[@]}"
    status=$?
    [[ -z $panel_home ]] || rm -rf "$panel_home"
    exit "$status"
fi

pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -f "${trayer_log:-}"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

wait_for() { # <tries of 0.1 s> <command...>
    local tries=$1
    shift
    while ((tries-- > 0)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Another desktop may claim a free-looking number at the same moment, so a
# server that does not come up is given up and the next number tried.
display=
for n in $(seq 150 199); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 "${TAVRIN_DESKTOP_SIZE:-1024x768}x24" -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    # The display is ours only if our server holds its lock: a server started a
    # moment earlier by someone else also answers xdpyinfo.
    if wait_for 50 env DISPLAY=":$n" xdpyinfo && kill -0 "$xvfb" 2>/dev/null &&
        [[ $(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null) == "$xvfb" ]]; then
        pids+=("$xvfb")
        display=":$n"
        break
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
done
if [[ -z $display ]]; then
    echo "with-desktop: no free X display in :150..:199" >&2
    exit 1
fi
export DISPLAY=$display

# xprop succeeds without the property too: the window manager is up once it is set.
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
# Now and then openbox fails to open a display that has just come up and
# exits; a new one is started then.
for attempt in 1 2 3; do
    openbox >/dev/null 2>&1 &
    openbox_pid=$!
    if wait_for 50 wm_up; then
        pids+=("$openbox_pid")
        break
    fi
    echo "with-desktop: openbox did not start (attempt $attempt)" >&2
    kill "$openbox_pid" 2>/dev/null || true
    wait "$openbox_pid" 2>/dev/null || true
done

if [[ -n $sni ]]; then
    # The command's programs keep their own settings; only the panel reads ours.
    unset XDG_CONFIG_HOME
    xfce4-panel >/dev/null 2>&1 &
    pids+=($!)
    if ! wait_for 100 dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher \
        /StatusNotifierWatcher org.freedesktop.DBus.Properties.Get \
        string:org.kde.StatusNotifierWatcher string:IsStatusNotifierHostRegistered; then
        echo "with-desktop: xfce4-panel's notification area did not come up" >&2
        exit 1
    fi
elif [[ -n $with_tray ]]; then
    # Now and then trayer does not come up on a fresh display (it exits or never
    # maps its panel); a new one is started then, a few times before giving up.
    trayer_log=$(mktemp)
    tray_up=
    for attempt in 1 2 3; do
        trayer --edge bottom --align right "${tray_width[@]}" --height 32 --SetDockType true \
            --transparent false --tint 0xffffff >"$trayer_log" 2>&1 &
        trayer_pid=$!
        pids+=("$trayer_pid")
        if wait_for 50 xdotool search --class trayer; then
            tray_up=1
            break
        fi
        echo "with-desktop: trayer did not start (attempt $attempt): $(tail -n 3 "$trayer_log")" >&2
        kill "$trayer_pid" 2>/dev/null || true
        wait "$trayer_pid" 2>/dev/null || true
    done
    rm -f "$trayer_log"
    if [[ -z $tray_up ]]; then
        echo "with-desktop: trayer did not start" >&2
        exit 1
    fi
fi

# In the background so that a TERM is handled (and the desktop ended) at once.
"$@" &
pids+=($!)
wait "$!"
