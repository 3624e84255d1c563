#!/usr/bin/env bash
# Usage: check-core-includes.sh <file listing the core's sources, one a line>
#
# Fails when any of the core's sources includes a Qt header or a platform
# header (windows.h, sys/*, unistd.h), or when the list names no file at all.
set -euo pipefail
list="$1"
mapfile -t files < <(grep -v '^$' "$list")
((${#files[@]} > 0)) || { echo "no core sources listed in $list" >&2; exit 1; }
if grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(Q|windows\.h>|sys/|unistd\.h>)' \
    "${files[@]}"; then
    echo "the core must include no Qt or platform header" >&2
    exit 1
fi
echo "${#files[@]} core sources checked: no Qt or platform header"
