#!/usr/bin/env bash
# A snapshot needs no X server, so nothing on its path may pull in Xlib or
# GLX: a thumbnailer must start on machines that have no X libraries at all.
set -u
fail=0
for program in "$@"; do
  if ! libraries=$(ldd "$program"); then
    echo "FAIL $program: ldd failed"
    fail=1
  elif grep -E 'lib(X11|GLX|GL|xcb)\.so' <<<"$libraries"; then
    echo "FAIL $program links the X libraries above"
    fail=1
  else
    echo "ok   $program"
  fi
done
exit $fail
