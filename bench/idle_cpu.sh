#!/usr/bin/env bash
# What a viewer costs while nobody touches it: starts `tessel` on a scene,
# waits until its GL window is up and drawn, then samples the processor time
# of the viewer and of the X server over a few seconds, beside the time of a
# busy loop measured in the same run (one core's worth on this machine).
#
#   bench/idle_cpu.sh BUILD [SECONDS] [SCENE]
#
# With TESSEL_IDLE_PAUSE=1 the scene (a world that moves) is paused with
# Space in the GL window before the measure: a paused world must cost what a
# still scene costs.
# Runs on a private Xvfb server of its own.
set -eu
build=$(cd "${1:?usage: idle_cpu.sh BUILD [SECONDS] [SCENE]}" && pwd)
seconds=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
scene=${3:-$here/../examples/shapes.wrl}

if [ -z "${TESSEL_IDLE_CPU_INNER:-}" ]; then
  TESSEL_IDLE_CPU_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$build" "$seconds" "$scene"
fi

ticks=$(getconf CLK_TCK)
# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

work=$(mktemp -d)
viewer=
trap '[ -n "$viewer" ] && kill "$viewer" 2>/dev/null; rm -rf "$work"' EXIT
HOME=$work "$build/app/tessel" "$scene" >"$work/viewer.log" 2>&1 &
viewer=$!
if ! timeout 30 xdotool search --sync --name "KORVANE VRML TESSALO" >/dev/null; then
  echo "idle_cpu: the GL window did not appear" >&2
  cat "$work/viewer.log" >&2
  exit 1
fi
# The scene is opened by a queued call once the window is up; its load and
# first frames are not what this measures.
sleep 1
if [ -n "${TESSEL_IDLE_PAUSE:-}" ]; then
  xdotool search --name "KORVANE VRML TESSALO" windowactivate --sync key space 2>/dev/null \
    || xdotool search --name "KORVANE VRML TESSALO" key --window %1 space
  sleep 0.5
fi
# Our own server: xvfb-run started it beside this script.
server=$(pgrep -P "$PPID" -x Xvfb || true)

measure() {  # PID... -> percent of one core for each, over $seconds
  local before=() after=() pid i=0
  for pid in "$@"; do before+=("$(cpu_ticks "$pid")"); done
  sleep "$seconds"
  for pid in "$@"; do after+=("$(cpu_ticks "$pid")"); done
  for pid in "$@"; do
    awk -v a="${after[$i]}" -v b="${before[$i]}" -v t="$ticks" -v s="$seconds" \
      'BEGIN { printf "%.1f", 100 * (a - b) / t / s }'
    printf ' '
    i=$((i + 1))
  done
  echo
}

if [ -n "$server" ]; then
  kill -0 "$viewer" 2>/dev/null || { echo "idle_cpu: the viewer ended" >&2; cat "$work/viewer.log" >&2; exit 1; }
  read -r viewer_pct server_pct < <(measure "$viewer" "$server")
else
  read -r viewer_pct < <(measure "$viewer")
  server_pct=n/a
fi

# Baseline: a shell busy loop over the same interval, the ceiling of one core.
( while :; do :; done ) &
busy=$!
read -r busy_pct < <(measure "$busy")
kill "$busy"

echo "${TESSEL_IDLE_PAUSE:+paused }viewer over ${seconds}s: viewer ${viewer_pct}% of a core, X server ${server_pct}%," \
     "busy loop ${busy_pct}%"
awk -v v="$viewer_pct" -v b="$busy_pct" 'BEGIN { if (b > 0) printf "viewer/busy loop: %.3f\n", v / b }'
