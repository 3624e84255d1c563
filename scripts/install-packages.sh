#!/usr/bin/env bash
# Usage: install-packages.sh <package>...
# Installs the given Debian packages quietly (as root, or through sudo).
set -euo pipefail
(($#)) || exit 0
echo "Installing missing packages: $*"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "$@" >/dev/null
