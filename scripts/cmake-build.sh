#!/usr/bin/env bash
# Usage: cmake-build.sh <build dir> [--target <name>]... [cmake configure arguments...]
# Configures the build directory when it has no cache yet or configure arguments
# are given, then builds it: everything, or only the named targets and what they
# need. Only errors are shown, and every compiler warning; the full log is
# <build dir>/build.log.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=$1
shift
targets=()
while [[ "${1:-}" == --target ]]; do
    targets+=(--target "$2")
    shift 2
done
if [[ ! -f "$build/CMakeCache.txt" ]] || (($#)); then
    cmake -S "$root" -B "$build" "$@" >/dev/null
fi
log="$build/build.log"
if ! cmake --build "$build" "${targets[@]}" --parallel "$(nproc)" >"$log" 2>&1; then
    grep -E -v '^\[ *[0-9]+%\]' "$log" | tail -n 60
    echo "Build failed; full log: $log" >&2
    exit 1
fi
grep -E 'warning:' "$log" || true
