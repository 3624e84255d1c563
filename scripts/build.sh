#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then
# configures and builds into build/. Leading "--target <name>" pairs build only
# those targets; other arguments go to the CMake configure step.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_BUILD_DIR:-$root/build}"

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev qt6-translations-l10n
    googletest
    xvfb xauth openbox trayer xdotool x11-utils imagemagick
    xfce4-panel dbus-daemon dbus-bin at-spi2-core python3-pyatspi
    qt6-wayland weston
    python3 procps iproute2 dpkg-dev file zlib1g-dev openssl
    lintian appstream man-db desktop-file-utils
)

"$root/scripts/install-packages.sh" "${packages[@]}"
"$root/scripts/cmake-build.sh" "$build" "$@"
