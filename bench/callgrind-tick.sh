#!/usr/bin/env bash
# Usage: bench/callgrind-tick.sh [build dir] [ticks]
#
# Counts with callgrind the instructions of one countdown tick (interval "5" and
# German "1,5") and of a sync's own work (restarting the count and building the
# tray record), and one tick of the whole update engine (countdown, retry and
# catch-up checks, the listener's caption). Only the driver's loop functions
# are collected, so start-up and locale loading stay out; the total is divided
# by the number of iterations.
# Builds tavrin-tick-driver first (in build/ unless a build dir is given).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
ticks="${2:-20000}"

command -v valgrind >/dev/null || { echo "callgrind-tick: valgrind is not installed" >&2; exit 1; }
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --parallel 2 --target tavrin-tick-driver >/dev/null
driver="$build/bench/tavrin-tick-driver"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Instructions collected inside <function> while the driver runs with <args...>.
collected() { # <function> <args...>
    local function=$1
    shift
    valgrind --tool=callgrind --callgrind-out-file="$work/out" --toggle-collect="$function" \
        "$driver" "$@" >/dev/null 2>"$work/log" || { cat "$work/log" >&2; return 1; }
    # The "summary:" (or "totals:") line holds the collected Ir.
    awk '/^(summary|totals):/ { print $2; exit }' "$work/out"
}

printf '%-34s %14s %12s\n' "work" "instructions" "per call"
report() { # <label> <function> <count> <args...>
    local label=$1 function=$2 count=$3
    shift 3
    local total
    total="$(collected "$function" "$count" "$@")"
    printf '%-34s %14s %12.1f\n' "$label" "$total" "$(awk -v t="$total" -v n="$count" 'BEGIN { print t / n }')"
}
report 'tick, interval "5"' tavrin_bench_ticks "$ticks" 5
report 'tick, interval "1,5" (German)' tavrin_bench_ticks "$ticks" 1,5
report 'sync own work' tavrin_bench_syncs "$ticks" 5 sync
report 'engine tick, interval "5"' tavrin_bench_engine_ticks "$ticks" 5 engine
