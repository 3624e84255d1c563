#!/usr/bin/env bash
# Renders the two pictures (dist/pictures/working.svg and failing.svg, the one
# source of each) into the files the programs are built from, which are kept
# in the repository: the Qt front end's PNGs at every size the tray or window
# may ask for, the Windows .ico files, and the Linux app icon (the working
# picture) at the hicolor sizes. Run it after changing a picture.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-packages.sh" librsvg2-bin icoutils
pictures="$root/dist/pictures"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

render() { # <svg> <size> <png>
    rsvg-convert --width "$2" --height "$2" --output "$3" "$1"
}

for pair in A:working B:failing; do
    letter=${pair%%:*}
    svg="$pictures/${pair#*:}.svg"
    for size in 16 20 24 32 40 48 64 128 256; do
        render "$svg" "$size" "$root/src/qt/app/pictures/picture$letter-$size.png"
    done
    # The .ico: every small size as a bitmap, 256 as PNG (as Windows expects).
    ico_parts=()
    for size in 16 20 24 32 40 48 64; do
        render "$svg" "$size" "$work/$size.png"
        ico_parts+=("$work/$size.png")
    done
    render "$svg" 256 "$work/256.png"
    icotool --create --output "$root/src/win32/app/pictures/picture$letter.ico" \
        "${ico_parts[@]}" --raw "$work/256.png"
done
for size in 16 22 24 32 48 64 128 256; do
    render "$pictures/working.svg" "$size" "$root/dist/icons/tavrin-connector-$size.png"
done
