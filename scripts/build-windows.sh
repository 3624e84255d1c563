#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64 (installing what is missing)
# into build-windows/: tavrin-connector.exe (statically linked) and its test
# build, the core's and the front end's tests (scripts/test-windows.sh runs them
# under Wine) and the zip to ship (build-windows/tavrin-connector-<version>-win64.zip).
# Extra arguments go to the CMake configure step.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_WINDOWS_BUILD_DIR:-$root/build-windows}"

packages=(
    cmake make g++-mingw-w64-x86-64-posix googletest
    wine wine64
    python3 xvfb xauth openbox trayer xdotool x11-utils imagemagick
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done
"$root/scripts/install-packages.sh" ${missing[@]+"${missing[@]}"}

if [[ ! -f "$build/CMakeCache.txt" ]] || (($#)); then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        "$@" >/dev/null
fi
log="$build/build.log"
if ! cmake --build "$build" --parallel "$(nproc)" >"$log" 2>&1; then
    grep -E -v '^\[ *[0-9]+%\]' "$log" | tail -n 60
    echo "Build failed; full log: $log" >&2
    exit 1
fi
grep -E 'warning:' "$log" || true
(cd "$build" && cpack -G ZIP >/dev/null)

