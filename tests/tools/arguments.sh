#!/usr/bin/env bash
# Every program answers --help and --version on stdout with exit code 0, takes
# a file whose name starts with a dash after "--", and refuses an unknown
# option with its usage. Arguments: VERSION EXAMPLES tessel-scan [tessel
# tessel-snapshot tessel-glview].
set -u
version=$1 examples=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY
fail=0
say() { echo "$*"; [[ $1 == FAIL ]] && fail=1; return 0; }
cp "$examples/cube.wrl" "$work/-cube.wrl"
cd "$work" || exit 1

for program in "$@"; do
  name=$(basename "$program")
  out=$("$program" --help) && [[ $out == usage:* ]] && say ok "$name --help" || say FAIL "$name --help: $out"
  out=$("$program" --version) && [[ $out == *" $version" ]] && say ok "$name --version: $out" \
    || say FAIL "$name --version: $out"
  # The viewer leaves options it does not know to Qt, which needs a display.
  if [[ $name == tessel ]]; then
    :
  elif "$program" --frobnicate >/dev/null 2>"$work/err" || ! grep -q usage: "$work/err"; then
    say FAIL "$name accepted --frobnicate or gave no usage"
  else
    say ok "$name refuses an unknown option"
  fi
  # The one usage text names every option the program takes.
  case $name in
    tessel|tessel-snapshot)
      for option in --size --rotate --translate --scale --time --viewpoint --max-size --timings --classic; do
        grep -q -- "$option" <<<"$out$("$program" --help)" || say FAIL "$name --help lacks $option"
      done
      "$program" --snapshot x.png --frobnicate -- -cube.wrl 2>&1 | grep -q -- "--timings" \
        || say FAIL "$name: the usage after an error lacks --timings"
      "$program" --snapshot "$work/dash.png" -- -cube.wrl && [ -s "$work/dash.png" ] \
        && say ok "$name --snapshot OUT -- -cube.wrl" || say FAIL "$name --snapshot OUT -- -cube.wrl"
      # A viewpoint the file lacks is an error that says so; one it has is drawn.
      if "$program" --snapshot "$work/v.png" --viewpoint 2 -- -cube.wrl 2>"$work/err" || ! grep -q "no viewpoint" "$work/err"; then
        say FAIL "$name --viewpoint 2 of a file without viewpoints"
      fi
      printf '#VRML V2.0 utf8\nViewpoint { description "Haut" position 0 9 0 orientation 1 0 0 -1.57 }\nShape { geometry Box {} }\n' >"$work/views.wrl"
      "$program" --snapshot "$work/v.png" --viewpoint Haut -- "$work/views.wrl" && [ -s "$work/v.png" ] \
        && say ok "$name --viewpoint Haut" || say FAIL "$name --viewpoint Haut"
      ;;
    tessel-glview)
      grep -q -- --classic <<<"$("$program" --help)" || say FAIL "$name --help lacks --classic"
      ;;
    tessel-scan)
      out=$("$program" -- -cube.wrl) && [[ $out == '{"shapes":[{'* ]] \
        && say ok "$name -- -cube.wrl" || say FAIL "$name -- -cube.wrl: $out"
      ;;
  esac
  # A time is seconds from 0 to a day, nothing else.
  case $name in
    tessel|tessel-snapshot|tessel-scan)
      for bad in -1 nan 1e9 2s ""; do
        if [[ $name == tessel-scan ]]; then args=(--time "$bad" -- -cube.wrl)
        else args=(--snapshot "$work/t.png" --time "$bad" -- -cube.wrl); fi
        if "$program" "${args[@]}" >/dev/null 2>"$work/err" || ! grep -q -- "--time" "$work/err"; then
          say FAIL "$name accepted --time '$bad' or did not say why"
        fi
      done
      "$program" $([[ $name == tessel-scan ]] || echo --snapshot "$work/t.png") --time 2.5 -- -cube.wrl >/dev/null \
        && say ok "$name --time 2.5" || say FAIL "$name --time 2.5"
      ;;
  esac
done
exit $fail
