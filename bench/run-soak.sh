#!/usr/bin/env bash
# Usage: bench/run-soak.sh [--build DIR] [--minutes N] [--hidden] [--out DIR]
#
# Runs the program for N minutes (default 30) on a private virtual desktop
# against a loopback server whose answers cycle through success, server error,
# a hung request, a reset, a large HTML page and a gzip answer, one sync every
# 4 s, with the window shown (--hidden: left in the tray). Prints RSS and
# private dirty memory by minute and the growth after the first minute; exits 3
# when RSS grew by more than 2 MiB.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
soak_args=()

while (($#)); do
    case $1 in
    --build) build=$2; shift 2 ;;
    --minutes) soak_args+=(--minutes "$2"); shift 2 ;;
    --out) out=$2; shift 2 ;;
    --hidden) soak_args+=(--hidden); shift ;;
    -h | --help)
        sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "run-soak: unknown option $1 (see --help)" >&2
        exit 2
        ;;
    esac
done

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if ! cmake --build "$build" --parallel 2 --target tavrin-connector-testhooks >"$build/soak-build.log" 2>&1; then
    tail -n 40 "$build/soak-build.log" >&2
    echo "run-soak: build failed; full log: $build/soak-build.log" >&2
    exit 1
fi
out="${out:-$build/soak-out}"
rm -rf "$out"

exec "$root/tests/support/with-desktop.sh" python3 "$root/bench/soak.py" \
    --program "$build/src/qt/tavrin-connector-testhooks" --out "$out" "${soak_args[@]}"
