#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 (installing what is missing)
# into build-windows/: tavrin-connector.exe (statically linked) and its test
# build, the core's and the front end's tests (scripts/test-windows.sh runs them
# under Wine) and what ships: the installer (build-windows/tavrin-connector-<version>-setup.exe,
# made with makensis) and the zip (build-windows/tavrin-connector-<version>-win64.zip).
# Extra arguments go to the CMake configure step.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_WINDOWS_BUILD_DIR:-$root/build-windows}"

packages=(
    cmake make g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest
    wine wine64 nsis
    python3 xvfb xauth openbox trayer xdotool x11-utils imagemagick
)
"$root/scripts/install-packages.sh" "${packages[@]}"
toolchain=()
[[ -f "$build/CMakeCache.txt" ]] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake")
"$root/scripts/cmake-build.sh" "$build" ${toolchain[@]+"${toolchain[@]}"} "$@"
(cd "$build" && cpack -G ZIP >/dev/null)
