#!/usr/bin/env bash
# Loads generated scenes of about 10 thousand, 200 thousand and 2 million
# triangles in both readings and prints each load's time beside the floor
# (reading the file and converting every number with std::from_chars),
# measured in the same run, with the ratio to the floor and the peak memory
# of each load. Then the same sizes written as VRML 2.0 (many small
# Transforms, as exporters write them), flat and smooth shaded, against the
# floor of that text. Then
# loads scenes of 10 and 100 thousand small Separators in the standard
# reading, to show that the time grows linearly with the count.
#   bench/reader_bench.sh [BUILD_DIR] [SIZES...]
set -euo pipefail
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 200000 2000000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench=$build/bench/tessel-reader-bench

# run MODE FILE: prints "seconds peak_MB" of the best of the bench's runs.
run() {
  local out
  out=$(/usr/bin/time -v "$bench" "$1" "$2" 2>"$work/time.txt")
  awk '{for (i = 1; i <= NF; ++i) if ($i == "total") print $(i + 1)}' <<<"$out" | tr '\n' ' '
  awk '/Maximum resident set size/ {printf "%.0f\n", $6/1024}' "$work/time.txt"
}

# try_run MODE FILE: as run, or "failed REASON" when the load fails, so
# that a reading this build lacks is reported instead of ending the run.
try_run() {
  local out
  if ! out=$(/usr/bin/time -v "$bench" "$1" "$2" 2>"$work/time.txt"); then
    echo "failed $(grep -v -e '^Command exited' -e $'^\t' "$work/time.txt" | head -n 1)"
    return 0
  fi
  awk '{for (i = 1; i <= NF; ++i) if ($i == "total") print $(i + 1)}' <<<"$out" | tr '\n' ' '
  awk '/Maximum resident set size/ {printf "%.0f\n", $6/1024}' "$work/time.txt"
}

# Two floors: reading as plainly as ever, and on huge pages as the loader
# reads (on machines where page faults are dear, the second is far lower).
# Ratios are to each: "ratio" to the plain floor, "ratio_hp" to the other.
printf '%-10s %7s %8s %8s %9s %7s %8s %8s %10s %7s %8s %8s\n' \
  triangles MB floor_s floor_hp classic_s ratio ratio_hp peak_MB standard_s ratio ratio_hp peak_MB
for n in "${sizes[@]}"; do
  f=$work/scene-$n.wrl
  "$build/bench/tessel-gen-scene" "$n" "$f" >/dev/null
  cat "$f" >/dev/null  # warm the page cache for every run alike
  read -r floor_s mb < <("$bench" floor "$f" | awk '{print $4, $2}')
  read -r floor_hp _ < <("$bench" floor-huge "$f" | awk '{print $4, $2}')
  read -r classic_s classic_peak < <(run load "$f")
  read -r standard_s standard_peak < <(run standard "$f")
  awk -v n="$n" -v mb="$mb" -v f="$floor_s" -v h="$floor_hp" -v c="$classic_s" -v cp="$classic_peak" \
      -v s="$standard_s" -v sp="$standard_peak" 'BEGIN {
    printf "%-10s %7s %8.3f %8.3f %9.3f %7.2f %8.2f %8s %10.3f %7.2f %8.2f %8s\n", n, mb, f, h, c, c / f, c / h, cp, s, s / f, s / h, sp
  }'
done

# The floor of each VRML 2.0 file is measured on that file: its text holds
# more words and nesting per number than the VRML 1.0 scenes.
echo
printf '%-10s %-10s %7s %8s %8s %10s %7s %8s %8s\n' reading triangles MB floor_s floor_hp standard_s ratio ratio_hp peak_MB
failure=
for variant in flat smooth; do
for n in "${sizes[@]}"; do
  f=$work/vrml2-$variant-$n.wrl
  if [ $variant = flat ]; then "$build/bench/tessel-gen-scene" --vrml2 "$n" "$f" >/dev/null
  else "$build/bench/tessel-gen-scene" --vrml2-smooth "$n" "$f" >/dev/null; fi
  cat "$f" >/dev/null
  read -r floor_s mb < <("$bench" floor "$f" | awk '{print $4, $2}')
  read -r floor_hp _ < <("$bench" floor-huge "$f" | awk '{print $4, $2}')
  read -r v2_s v2_peak < <(try_run standard "$f")
  if [ "$v2_s" = failed ]; then
    failure=$v2_peak
    printf '%-10s %-10s %7s %8.3f %8.3f %10s %7s %8s %8s\n' "2.0 $variant" "$n" "$mb" "$floor_s" "$floor_hp" - - - -
    continue
  fi
  awk -v r="2.0 $variant" -v n="$n" -v mb="$mb" -v f="$floor_s" -v h="$floor_hp" -v s="$v2_s" -v sp="$v2_peak" 'BEGIN {
    printf "%-10s %-10s %7s %8.3f %8.3f %10.3f %7.2f %8.2f %8s\n", r, n, mb, f, h, s, s / f, s / h, sp
  }'
done
done
[ -z "$failure" ] || echo "VRML 2.0 files were not loaded by this build: $failure"

echo
printf '%-11s %7s %8s %11s %7s %9s %12s\n' separators MB floor_s standard_s ratio peak_MB 'us/separator'
for n in 10000 100000; do
  f=$work/separators-$n.wrl
  "$build/bench/tessel-gen-scene" --separators "$n" "$f" >/dev/null
  cat "$f" >/dev/null
  read -r floor_s mb < <("$bench" floor "$f" | awk '{print $4, $2}')
  read -r standard_s standard_peak < <(run standard "$f")
  awk -v n="$n" -v mb="$mb" -v f="$floor_s" -v s="$standard_s" -v sp="$standard_peak" 'BEGIN {
    printf "%-11s %7s %8.3f %11.3f %7.2f %9s %12.2f\n", n, mb, f, s, s / f, sp, s * 1e6 / n
  }'
done
