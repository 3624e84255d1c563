#!/usr/bin/env bash
# Builds (installing what is missing) and runs the whole test suite through
# CTest: the Linux build, then the Windows build under Wine
# (scripts/test-windows.sh). Extra arguments go to both ctest runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"
status=0
(cd "$build" && ctest --output-on-failure --timeout 600 "$@") || status=$?
"$root/scripts/test-windows.sh" "$@" || status=$?
exit "$status"
