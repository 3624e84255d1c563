#!/usr/bin/env bash
# Cross-builds the Windows program (scripts/build-windows.sh) and runs its
# tests through CTest under Wine: the core's and the front end's tests, and the
# program on a virtual desktop. Extra arguments go to ctest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_WINDOWS_BUILD_DIR:-$root/build-windows}"
"$root/scripts/build-windows.sh"
cd "$build"
# WinINet would send the tests' loopback requests to a proxy.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
ctest --output-on-failure --timeout 600 "$@"
