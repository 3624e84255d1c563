#!/usr/bin/env bash
# Usage: install-packages.sh <package>...
# Installs those of the given Debian packages that are missing, quietly (as
# root, or through sudo).
set -euo pipefail
# One dpkg-query for all of them: a call each took seconds on a busy machine.
installed="$(dpkg-query -W -f='${Package} ${Status}\n' "$@" 2>/dev/null |
    awk '/ ok installed$/ {print $1}')" || true
missing=()
for p in "$@"; do
    grep -qxF "$p" <<<"$installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
