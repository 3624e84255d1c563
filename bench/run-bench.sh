#!/usr/bin/env bash
# Usage: bench/run-bench.sh [options]
#
# Measures the program against the floor program (bench/floor) on a private
# virtual desktop (Xvfb, openbox, trayer) with a loopback HTTP server, and
# prints a table of medians: memory, CPU and wake-ups per minute hidden in the
# tray, CPU shown, start to tray icon and start to first request.
#
# Options:
#   --build DIR     build directory (default: build/); configured RelWithDebInfo
#                   when it has no cache yet
#   --ours PATH     measure this executable instead of the one built (it keeps
#                   its base name, which addresses its settings)
#   --label TEXT    how the table names "ours" (default: path and git revision)
#   --runs N        starts of each program (default 3)
#   --starts N      further starts of each program that measure only start to
#                   icon and first request (default 20)
#   --hidden MIN    minutes measured hidden in the tray (default 3)
#   --shown MIN     minutes measured with the window shown (default 0.5; 0: none)
#   --interval MIN  request interval in minutes (default 5)
#   --out DIR       where the programs' logs and runs.tsv go (default: DIR/bench-out
#                   in the build directory, emptied first)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
ours=
label=
out=
measure_args=()

while (($#)); do
    if (($# < 2)) && [[ $1 != -h && $1 != --help ]]; then
        echo "run-bench: $1 needs a value (see --help)" >&2
        exit 2
    fi
    case $1 in
    --build) build=$2 ;;
    --ours) ours=$2 ;;
    --label) label=$2 ;;
    --out) out=$2 ;;
    --runs | --starts | --hidden | --shown | --interval) measure_args+=("$1" "${2:-}") ;;
    -h | --help)
        sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "run-bench: unknown option $1 (see --help)" >&2
        exit 2
        ;;
    esac
    shift 2
done

for tool in Xvfb openbox trayer xdotool xwininfo xprop xdpyinfo python3 cmake; do
    command -v "$tool" >/dev/null || {
        echo "run-bench: $tool is missing (scripts/build.sh installs the desktop tools)" >&2
        exit 1
    }
done

# Build what is needed; a new build directory gets an optimised build.
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
targets=(tavrin-floor)
if grep -q '^XCB_FOUND:INTERNAL=1' "$build/CMakeCache.txt"; then
    targets+=(tray-watch)
fi
[[ -n $ours ]] || targets+=(tavrin-connector)
if ! cmake --build "$build" --parallel 2 --target "${targets[@]}" >"$build/bench-build.log" 2>&1; then
    tail -n 40 "$build/bench-build.log" >&2
    echo "run-bench: build failed; full log: $build/bench-build.log" >&2
    exit 1
fi
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")"
if [[ -z $ours ]]; then
    ours="$build/src/qt/tavrin-connector"
    revision="$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)"
    label="${label:-$ours (git $revision, ${build_type:-no build type})}"
fi
label="${label:-$ours}"

if [[ -z $out ]]; then
    out="$build/bench-out"
    rm -rf "$out"
fi

# tray-watch reports the moment the icon docks; without it measure.py polls.
watch=
[[ -x $build/bench/tray-watch ]] && watch="$build/bench/tray-watch"

# with-desktop.sh gives the measurement a private desktop (Xvfb, openbox, trayer,
# no session bus, so Qt uses the X11 tray) and ends all of it afterwards.
exec "$root/tests/support/with-desktop.sh" python3 "$root/bench/measure.py" \
    --ours "$ours" --floor "$build/bench/tavrin-floor" \
    --ours-label "$label" --floor-label "$build/bench/tavrin-floor (${build_type:-no build type})" \
    --out "$out" ${watch:+--tray-watch "$watch"} "${measure_args[@]}"
