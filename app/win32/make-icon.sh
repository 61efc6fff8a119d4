#!/usr/bin/env bash
# Regenerates hfremove.ico (one 32x32 image, 32-bit colour with alpha): a shield with a cross.
# Needs ImageMagick; the .ico is checked in, so the build does not run this.
set -euo pipefail
cd "$(dirname "$0")"
png=$(mktemp --suffix=.png)
convert -size 32x32 xc:none \
    -fill '#2a6fc0' -stroke '#173f73' -strokewidth 1 \
    -draw 'path "M16,2 L28,6 L28,15 C28,23 22,28 16,30 C10,28 4,23 4,15 L4,6 Z"' \
    -stroke none -fill '#ffffff40' -draw 'path "M16,2 L28,6 L28,15 C28,23 22,28 16,30 Z"' \
    -fill none -stroke '#ffffff' -strokewidth 3 -draw 'line 11,11 21,21' -draw 'line 21,11 11,21' \
    "$png"
convert "$png" hfremove.ico
rm -f "$png"
