#!/usr/bin/env bash
# Snapshots of the bundled examples must match the reference pictures kept in
# the repository pixel for pixel (they were made with this Debian release's
# Mesa; another Mesa may round differently): the classic reading's pictures,
# which must never change, and the standard reading's. Also checks the error
# paths and the warnings on stderr.
set -u
snapshot=$1 examples=$2 references=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY
fail=0
check() {  # name, then snapshot options
  local name=$1
  shift
  "$snapshot" --snapshot "$work/$name.png" "$@"
  local rc=$?
  if [ $rc -ne 0 ]; then
    echo "FAIL $name: snapshot exited with $rc"
    fail=1
    return
  fi
  local diff
  diff=$(compare -metric AE "$work/$name.png" "$references/$name.png" null: 2>&1)
  if [ "$diff" != "0" ]; then
    echo "FAIL $name: $diff pixels differ from $references/$name.png"
    fail=1
  else
    echo "ok   $name"
  fi
}
check shapes --classic "$examples/shapes.wrl"
check cube --classic "$examples/cube.wrl"
check cube-turned --rotate 30,40,0 --scale 1.2,1.2,1.2 --classic "$examples/cube.wrl"
check triangle-wide --size 320x200 --translate -50,20,0 --classic "$examples/triangle.wrl"
# The standard reading frames the scene: the three shapes centred and filling
# the window's width, faceted where the faces meet at sharp angles.
check shapes-standard "$examples/shapes.wrl"
check shapes-standard-wide --size 320x200 --rotate 0,30,0 "$examples/shapes.wrl"

# Warnings do not fail a snapshot; stderr gets the first 20 and a count.
{
  echo "#VRML V1.0 ascii"
  for i in $(seq 25); do echo "Unknown$i { }"; done
  echo "Cube { }"
} >"$work/warned.wrl"
if ! "$snapshot" --snapshot "$work/warned.png" "$work/warned.wrl" 2>"$work/warned.err"; then
  echo "FAIL warnings: the snapshot failed: $(cat "$work/warned.err")"
  fail=1
elif [ "$(grep -c "^$work/warned.wrl:[0-9]*:1: unknown node Unknown" "$work/warned.err")" != 20 ] \
  || [ "$(tail -1 "$work/warned.err")" != "... and 5 more warnings" ] || [ "$(wc -l <"$work/warned.err")" != 21 ]; then
  echo "FAIL warnings: stderr was:"
  cat "$work/warned.err"
  fail=1
else
  echo "ok   warnings: 20 and a count"
fi

expect_failure() {  # what, then arguments
  local what=$1
  shift
  local err
  if err=$("$snapshot" "$@" 2>&1 >/dev/null); then
    echo "FAIL $what: exit code 0"
    fail=1
  elif [ -z "$err" ]; then
    echo "FAIL $what: no message"
    fail=1
  else
    echo "ok   $what: $err" | head -1
  fi
}
expect_failure "missing file" --snapshot "$work/x.png" "$examples/no-such.wrl"
expect_failure "bad size" --snapshot "$work/x.png" --size 0x10 "$examples/cube.wrl"
expect_failure "bad rotation" --snapshot "$work/x.png" --rotate 1,2 "$examples/cube.wrl"
expect_failure "unknown option" --snapshot "$work/x.png" --frobnicate "$examples/cube.wrl"
expect_failure "no scene" --snapshot "$work/x.png"
expect_failure "unwritable output" --snapshot "$work/no/such/dir/x.png" "$examples/cube.wrl"
[ ! -e "$work/x.png" ] || { echo "FAIL a failed snapshot left a file"; fail=1; }
exit $fail
