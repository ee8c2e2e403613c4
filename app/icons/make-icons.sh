#!/usr/bin/env bash
# Redraws the viewer's icon at 16, 32 and 48 pixels: a few lit triangles of a
# tessellated surface on a dark tile. Needs ImageMagick; the PNGs it writes
# are committed, so the build does not run it.
set -euo pipefail
cd "$(dirname "$0")"
master=$(mktemp --suffix=.png)
trap 'rm -f "$master"' EXIT
# Drawn at 192 pixels and scaled down, so the small sizes stay smooth.
convert -size 192x192 xc:none \
  -fill '#1b2a4a' -draw 'roundrectangle 4,4 187,187 28,28' \
  -stroke '#0b1220' -strokewidth 4 \
  -fill '#e0463c' -draw 'polygon 28,160 96,28 96,112' \
  -fill '#f2b632' -draw 'polygon 96,28 164,160 96,112' \
  -fill '#3fae5a' -draw 'polygon 28,160 96,112 164,160' \
  "$master"
for size in 16 32 48; do
  convert "$master" -resize "${size}x${size}" -strip "PNG32:tessel-$size.png"
done
