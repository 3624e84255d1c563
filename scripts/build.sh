#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then
# configures and builds into build/. Extra arguments go to the CMake configure step.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_BUILD_DIR:-$root/build}"

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev qt6-translations-l10n
    googletest
    xvfb xauth openbox trayer xdotool x11-utils imagemagick
    xfce4-panel dbus-daemon dbus-bin
    qt6-wayland weston
    python3 procps dpkg-dev file zlib1g-dev openssl
    lintian appstream man-db desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done
"$root/scripts/install-packages.sh" ${missing[@]+"${missing[@]}"}

if [[ ! -f "$build/CMakeCache.txt" ]] || (($#)); then
    cmake -S "$root" -B "$build" "$@" >/dev/null
fi
log="$build/build.log"
if ! cmake --build "$build" --parallel "$(nproc)" >"$log" 2>&1; then
    grep -E -v '^\[ *[0-9]+%\]' "$log" | tail -n 60
    echo "Build failed; full log: $log" >&2
    exit 1
fi
# Surface compiler warnings even when the build succeeds.
grep -E 'warning:' "$log" || true
