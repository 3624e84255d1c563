# Sourced helpers: a virtual desktop (Xvfb, openbox, trayer) for running the
# program without a real display. desktop_start exports DISPLAY; desktop_stop
# ends every process it started.
desktop_pids=()

desktop_start() {
    local n
    for n in $(seq 90 140); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        desktop_pids+=($!)
        export DISPLAY=":$n"
        break
    done
    local i
    for i in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    openbox >/dev/null 2>&1 &
    desktop_pids+=($!)
    trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
        --transparent false --tint 0xffffff >/dev/null 2>&1 &
    desktop_pids+=($!)
    # The tray host owns the tray selection once it is ready.
    for i in $(seq 50); do
        xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 &&
            xdotool search --class trayer >/dev/null 2>&1 && break
        sleep 0.1
    done
}

desktop_stop() {
    local p
    for p in "${desktop_pids[@]}"; do
        kill "$p" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
