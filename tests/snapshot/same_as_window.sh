#!/usr/bin/env bash
# The snapshot of a scene must be the GL window's picture pixel for pixel:
# shows each example in the real window on this X server, captures it, and
# compares it with a snapshot made without any X server.
set -u
snapshot=$1 glview=$2 examples=$3
work=$(mktemp -d)
trap 'kill $viewer 2>/dev/null; rm -rf "$work"' EXIT
viewer=
fail=0
for case in "shapes.wrl 0 0 0" "cube.wrl 20 30 10" "triangle.wrl 0 180 0"; do
  read -r file rx ry rz <<<"$case"
  "$glview" "$examples/$file" "$rx" "$ry" "$rz" &
  viewer=$!
  id=
  for _ in $(seq 100); do
    id=$(xdotool search --name "KORVANE VRML TESSALO" 2>/dev/null | head -1)
    [ -n "$id" ] && break
    sleep 0.1
  done
  if [ -z "$id" ]; then
    echo "FAIL $file: no GL window appeared"
    fail=1
    continue
  fi
  # The first frame is black and the scene's follows; wait for two equal
  # captures.
  prev=
  for _ in $(seq 50); do
    sleep 0.2
    import -window "$id" "$work/window.png" 2>/dev/null || continue
    sum=$(md5sum <"$work/window.png")
    [ "$sum" = "$prev" ] && break
    prev=$sum
  done
  kill "$viewer"
  wait "$viewer" 2>/dev/null
  env -u DISPLAY "$snapshot" --snapshot "$work/snap.png" --rotate "$rx,$ry,$rz" "$examples/$file"
  diff=$(compare -metric AE "$work/window.png" "$work/snap.png" null: 2>&1)
  if [ "$diff" = "0" ]; then
    echo "ok   $file $rx $ry $rz"
  else
    echo "FAIL $file $rx $ry $rz: $diff pixels differ"
    cp "$work/window.png" "/tmp/tessel-window-$file.png"
    cp "$work/snap.png" "/tmp/tessel-snapshot-$file.png"
    fail=1
  fi
done
exit $fail
