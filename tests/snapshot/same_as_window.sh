#!/usr/bin/env bash
# The snapshot of a scene must be the GL window's picture pixel for pixel:
# shows each example in the real window on this X server, captures it, and
# compares it with a snapshot made without any X server, in both readings.
set -u
snapshot=$1 glview=$2 capture=$3 examples=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel-same-pixels.XXXXXX") || exit 1
viewer=
trap '[ -n "$viewer" ] && kill "$viewer" 2>/dev/null; [ "$fail" = 0 ] && rm -rf "$work"' EXIT
fail=0
limit=30  # seconds a window may take to show the scene, on a loaded machine
for case in "shapes.wrl 0 0 0 --classic" "cube.wrl 20 30 10 --classic" "triangle.wrl 0 180 0 --classic" \
  "shapes.wrl 0 0 0" "cube.wrl 20 30 10"; do
  read -r file rx ry rz reading <<<"$case"
  name=$file${reading:+-classic}
  # shellcheck disable=SC2086 # $reading is one option or none
  if ! env -u DISPLAY "$snapshot" --snapshot "$work/snap-$name.png" --rotate "$rx,$ry,$rz" $reading "$examples/$file"; then
    echo "FAIL $file: the snapshot failed"
    fail=1
    continue
  fi
  # shellcheck disable=SC2086
  "$glview" $reading "$examples/$file" "$rx" "$ry" "$rz" &
  viewer=$!
  # Poll what the window shows until it is the snapshot's picture: the
  # window appears and draws in its own time, and a capture taken before
  # the first frame (or of a half-drawn one) must not count.
  diff="no GL window appeared"
  start=$SECONDS
  while [ $((SECONDS - start)) -lt $limit ]; do
    id=$(xdotool search --name "KORVANE VRML TESSALO" 2>/dev/null | head -1)
    if [ -n "$id" ] && "$capture" "$id" "$work/window-$name.ppm" 2>/dev/null; then
      diff="$(compare -metric AE "$work/window-$name.ppm" "$work/snap-$name.png" null: 2>&1) pixels differ"
      [ "$diff" = "0 pixels differ" ] && break
    fi
    sleep 0.1
  done
  kill "$viewer"
  wait "$viewer" 2>/dev/null
  viewer=
  if [ "$diff" = "0 pixels differ" ]; then
    echo "ok   $file $rx $ry $rz $reading"
  else
    echo "FAIL $file $rx $ry $rz $reading after ${limit}s: $diff (pictures kept in $work)"
    fail=1
  fi
done
exit $fail
