#!/usr/bin/env bash
# Loads generated scenes of about 10 thousand, 200 thousand and 2 million
# triangles and prints each stage's time and MB/s beside the floor (reading
# the file and converting every number with std::from_chars), measured in
# the same run, with the peak memory of each load.
#   bench/reader_bench.sh [BUILD_DIR] [SIZES...]
set -euo pipefail
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 200000 2000000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-10s %8s %8s %8s %8s %8s %8s %10s %10s %7s %9s\n' \
  triangles MB read scan rebuild normals total 'MB/s' 'floor MB/s' ratio 'peak MB'
for n in "${sizes[@]}"; do
  f=$work/scene-$n.wrl
  "$build/bench/tessel-gen-scene" "$n" "$f" >/dev/null
  cat "$f" >/dev/null  # warm the page cache for both runs alike
  floor=$("$build/bench/tessel-reader-bench" floor "$f")
  load=$(/usr/bin/time -v "$build/bench/tessel-reader-bench" load "$f" 2>"$work/time.txt")
  peak=$(awk '/Maximum resident set size/ {printf "%.0f", $6/1024}' "$work/time.txt")
  floor_mbs=$(awk '{print $6}' <<<"$floor")
  awk -v floor="$floor_mbs" -v peak="$peak" '{
    # load  MB MB  T triangles  read R scan S rebuild B normals N total T s  X MB/s
    printf "%-10s %8s %8s %8s %8s %8s %8s %10s %10s %7.2f %9s\n", $4, $2, $7, $9, $11, $13, $15, $17, floor, floor/$17, peak
  }' <<<"$load"
done
