#!/usr/bin/env bash
# Runs a command on a private Xvfb server (24-bit, 1280x1024 unless
# --screen WxHxD comes first), so that tests that open windows never depend
# on, or disturb, the user's display.
#
# The server picks its own display number (-displayfd) and says when it
# accepts connections: choosing a free number from outside, as xvfb-run -a
# does, races when two tests start servers at once. Its cookie lives in a
# private folder that goes with the server.
set -u
screen=1280x1024x24
if [ "${1-}" = --screen ]; then
  screen=$2
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [--screen WxHxD] COMMAND [ARGUMENT...]" >&2
  exit 2
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/tessel-xvfb.XXXXXX") || exit 1
server=
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# One MIT-MAGIC-COOKIE-1 entry that fits any address and display number
# (family 0xFFFF, empty address and number), in the Xauthority layout:
# lengths are 16-bit big-endian.
{
  printf '\377\377\000\000\000\000\000\022MIT-MAGIC-COOKIE-1\000\020'
  head -c 16 /dev/urandom
} >"$dir/auth" || exit 1

mkfifo "$dir/ready" || exit 1
Xvfb -displayfd 3 -auth "$dir/auth" -screen 0 "$screen" -nolisten tcp -noreset \
  3>"$dir/ready" </dev/null >"$dir/server.log" 2>&1 &
server=$!
# The server writes its number once it listens; it closes the pipe without
# a number when it fails to start.
number=
read -r -t 60 number <"$dir/ready"
if ! [[ $number =~ ^[0-9]+$ ]]; then
  echo "$0: Xvfb did not start:" >&2
  cat "$dir/server.log" >&2
  exit 1
fi

DISPLAY=:$number XAUTHORITY=$dir/auth "$@"
status=$?
exit $status
