#!/usr/bin/env bash
# Big models side by side, every number measured in this run on this
# machine. Generates four scenes into a temporary folder: 2 million
# triangles as VRML 1.0 (a few big meshes), as VRML 2.0 in parts of 1000
# triangles each under its Transform (flat shaded, and smooth with a crease
# angle), and a board as exporters write it (one part of 10000 triangles
# placed 400 times by USE). For each it prints the floor (reading the file
# and converting every number), tessel's standard load with one thread and
# with all, with the ratio to the floor and the peak memory of each, Coin3D's
# read and F3D's run where they are installed, and for the board also
# `tessel --snapshot` and tessel-scan.
#   bench/big_models.sh [BUILD_DIR]
# Coin3D is timed through coin_read.cpp (COIN_READ_CPP, by default the copy
# in /work/shared/tools), built here with libcoin-dev. F3D renders on the
# X display in DISPLAY; without one it is not run. A tool that is missing
# prints "-"; a run that fails prints "failed" and a note below the table.
set -euo pipefail
build=${1:-build}
gen=$build/bench/tessel-gen-scene
bench=$build/bench/tessel-reader-bench
viewer=$build/app/tessel
scan=$build/tools/tessel-scan
for tool in "$gen" "$bench"; do
  [ -x "$tool" ] || { echo "$tool is not built (bench/big_models.sh BUILD_DIR)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "needs GNU time as /usr/bin/time (Debian package time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# timed OUT CMD...: runs CMD with its stdout in OUT, its stderr in
# $work/err.txt and GNU time's report in $work/time.txt; CMD's status.
timed() {
  local out=$1
  shift
  /usr/bin/time -v -o "$work/time.txt" "$@" >"$out" 2>"$work/err.txt"
}
# The peak resident set (MB) and the wall time (s) of the last timed run.
peak_mb() { awk '/Maximum resident set size/ {printf "%.0f", $6 / 1024}' "$work/time.txt"; }
wall_s() {
  awk '/Elapsed \(wall clock\)/ {n = split($NF, a, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + a[i]; printf "%.2f", s}' \
    "$work/time.txt"
}
# field NAME FILE: the word after NAME in FILE ("total 1.23" gives 1.23).
field() { awk -v k="$1" '{for (i = 1; i < NF; ++i) if ($i == k) {print $(i + 1); exit}}' "$2"; }
# count NAME FILE: the word before NAME ("2000000 triangles" gives 2000000).
count() { awk -v k="$1" '{for (i = 2; i <= NF; ++i) if ($i == k) {print $(i - 1); exit}}' "$2"; }
secs() { awk -v a="$1" 'BEGIN {printf "%.4f", a}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}'; }
# Why the last timed run failed: its first line on stderr, or time's word
# on a signal.
why() {
  local line
  line=$(grep -m 1 -v '^[[:space:]]*$' "$work/err.txt" || true)
  [ -n "$line" ] || line=$(grep -m 1 -e '^Command' "$work/time.txt" || true)
  echo "${line:-no message}"
}

# Another busy process makes every time longer: say how busy the machine was.
load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)
declare -A cell=()
notes=()
scenes=(v1 flat smooth board)
declare -A title=([v1]="1.0 2M" [flat]="2.0 flat 2M" [smooth]="2.0 smooth 2M" [board]="400 copies")
threads_all=

# Coin's reader, built once for the run; "-" where Coin or its source is missing.
coin=
coin_src=${COIN_READ_CPP:-/work/shared/tools/coin_read.cpp}
if [ -f "$coin_src" ] && command -v g++ >/dev/null &&
   g++ -O2 -std=c++17 -o "$work/coin_read" "$coin_src" -lCoin 2>"$work/coin-build.txt"; then
  coin=$work/coin_read
elif [ -f "$coin_src" ] && command -v g++ >/dev/null; then
  notes+=("Coin3D: coin_read.cpp did not build (apt-get install libcoin-dev)")
else
  notes+=("Coin3D: no coin_read.cpp at $coin_src or no g++")
fi
f3d=
if ! command -v f3d >/dev/null; then notes+=("F3D: not installed")
elif [ -z "${DISPLAY:-}" ]; then notes+=("F3D: no DISPLAY, not run")
else f3d=$(command -v f3d); fi

for s in "${scenes[@]}"; do
  f=$work/$s.wrl
  case $s in
    v1) "$gen" 2000000 "$f" >/dev/null ;;
    flat) "$gen" --vrml2 2000000 "$f" >/dev/null ;;
    smooth) "$gen" --vrml2-smooth 2000000 "$f" >/dev/null ;;
    board) "$gen" --copies 400 "$f" >/dev/null ;;
  esac
  cat "$f" >/dev/null  # warm the page cache for every run alike
  if timed "$work/out.txt" "$bench" floor-huge "$f"; then
    read -r _ mb _ floor _ <"$work/out.txt"
    cell[mb,$s]=$mb
    cell[floor,$s]=$(secs "$floor")
  else
    floor=0
    cell[floor,$s]=failed
    notes+=("floor on ${title[$s]}: $(why)")
  fi

  total=()
  for t in 1 0; do
    if timed "$work/out.txt" "$bench" --threads "$t" standard "$f"; then
      total[t]=$(field total "$work/out.txt")
      cell[t$t,$s]=$(secs "${total[$t]}")
      cell[t${t}_mb,$s]=$(peak_mb)
      cell[t${t}_ratio,$s]=$(ratio "${total[$t]}" "$floor")
      cell[tris,$s]=$(count triangles "$work/out.txt")
      [ "$t" = 1 ] || threads_all=$(field threads "$work/out.txt")
    else
      total[t]=0
      cell[t$t,$s]=failed
      notes+=("tessel --threads $t on ${title[$s]}: $(why)")
    fi
  done
  [ "${cell[t1,$s]}" = failed ] || [ "${cell[t0,$s]}" = failed ] ||
    cell[speedup,$s]=$(ratio "${total[1]}" "${total[0]}")

  if [ -n "$coin" ]; then
    if timed "$work/out.txt" "$coin" "$f" && grep -q '^triangles ' "$work/out.txt"; then
      cell[coin,$s]=$(awk '$1 == "read_ms" {printf "%.4f", $2 / 1000}' "$work/out.txt")
      cell[coin_mb,$s]=$(peak_mb)
      cell[coin_tris,$s]=$(field triangles "$work/out.txt")
    else
      cell[coin,$s]=failed
      notes+=("Coin3D on ${title[$s]}: $(why)")
    fi
  fi

  # F3D reads VRML 2.0 only.
  if [ -n "$f3d" ] && [ "$s" != v1 ]; then
    rm -f "$work/f3d.png"
    if timed "$work/out.txt" "$f3d" --dry-run --quiet --output "$work/f3d.png" --resolution 400,400 "$f" &&
       [ -s "$work/f3d.png" ]; then
      cell[f3d,$s]=$(wall_s)
      cell[f3d_mb,$s]=$(peak_mb)
    else
      cell[f3d,$s]=failed
      notes+=("F3D on ${title[$s]}: $(why)")
    fi
  fi

  if [ "$s" = board ]; then
    rm -f "$work/tessel.png"
    if [ ! -x "$viewer" ]; then notes+=("tessel --snapshot: $viewer is not built")
    elif timed "$work/out.txt" "$viewer" --snapshot "$work/tessel.png" --size 400x400 "$f" && [ -s "$work/tessel.png" ]; then
      cell[snap,$s]=$(wall_s)
      cell[snap_mb,$s]=$(peak_mb)
      # What the same program takes for a scene of nothing: its libraries
      # and the software GL's own memory, which no scene can go below.
      printf '#VRML V2.0 utf8\n' >"$work/empty.wrl"
      if timed "$work/out.txt" "$viewer" --snapshot "$work/tessel.png" --size 400x400 "$work/empty.wrl"; then
        cell[snap0_mb,$s]=$(peak_mb)
      fi
    else
      cell[snap,$s]=failed
      notes+=("tessel --snapshot on ${title[$s]}: $(why)")
    fi
    if [ ! -x "$scan" ]; then notes+=("tessel-scan: $scan is not built")
    elif timed "$work/out.txt" "$scan" "$f"; then
      cell[scan_mb,$s]=$(peak_mb)
    else
      cell[scan_mb,$s]=failed
      notes+=("tessel-scan on ${title[$s]}: $(why)")
    fi
  fi
  rm -f "$f"
done

cpu=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo 2>/dev/null || true)
echo "Big models on ${cpu:-this machine}: $(nproc) cores usable ($(getconf _NPROCESSORS_ONLN) online)," \
  "load average $load_before before the run"
echo "Seconds and MB (peak resident set of the whole process), all measured in this run."
echo "floor: read the file and convert every number (floor-huge), best of the bench's runs."
echo "tessel: tessel-reader-bench --threads N standard, its \"total\", best of its runs; ratio = time / floor."
echo "Coin3D: SoDB::readAll's time, one run (its peak also holds one walk over the triangles)."
echo "F3D and tessel --snapshot: one run of the whole program, which reads AND renders a 400x400 PNG."
echo
rows=(mb tris floor t1 t1_ratio t1_mb t0 t0_ratio t0_mb speedup coin coin_mb coin_tris f3d f3d_mb snap snap_mb snap0_mb scan_mb)
declare -A label=(
  [mb]="file MB" [tris]="triangles (tessel)" [floor]="floor s"
  [t1]="tessel 1 thread s" [t1_ratio]="  ratio to floor" [t1_mb]="  peak MB"
  [t0]="tessel ${threads_all:-all} threads s" [t0_ratio]="  ratio to floor" [t0_mb]="  peak MB"
  [speedup]="  1 thread / ${threads_all:-all} threads"
  [coin]="Coin3D read s" [coin_mb]="  peak MB" [coin_tris]="  triangles (Coin)"
  [f3d]="F3D read+render s" [f3d_mb]="  peak MB"
  [snap]="tessel --snapshot s" [snap_mb]="  peak MB" [snap0_mb]="  same, empty scene MB"
  [scan_mb]="tessel-scan peak MB")
printf '%-26s' ""
for s in "${scenes[@]}"; do printf ' %14s' "${title[$s]}"; done
echo
for r in "${rows[@]}"; do
  printf '%-26s' "${label[$r]}"
  for s in "${scenes[@]}"; do printf ' %14s' "${cell[$r,$s]:--}"; done
  echo
done
if [ ${#notes[@]} -gt 0 ]; then
  echo
  printf '%s\n' "${notes[@]}"
fi
