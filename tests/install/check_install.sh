#!/usr/bin/env bash
# Installs tessel into a scratch prefix, validates what desktops read
# (menu entry, MIME type, icons, thumbnailer) and makes a thumbnail through
# the installed thumbnailer entry without any X server.
set -u
build=$1 examples=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail=0
say() { echo "$1"; case $1 in FAIL*) fail=1 ;; esac; }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL cmake --install"; exit 1; }
share=$prefix/share
for f in bin/tessel share/applications/tessel.desktop share/mime/packages/tessel-vrml.xml \
         share/thumbnailers/tessel.thumbnailer share/icons/hicolor/16x16/apps/tessel.png \
         share/icons/hicolor/32x32/apps/tessel.png share/icons/hicolor/48x48/apps/tessel.png; do
  [ -e "$prefix/$f" ] && say "ok   installed $f" || say "FAIL missing $f"
done
for size in 16 32 48; do
  got=$(identify -format '%wx%h' "$share/icons/hicolor/${size}x${size}/apps/tessel.png" 2>/dev/null)
  [ "$got" = "${size}x${size}" ] && say "ok   icon $size is $got" || say "FAIL icon $size is '$got'"
done

# The legacy x-world/x-vrml type draws a warning; only errors fail.
if out=$(desktop-file-validate "$share/applications/tessel.desktop" 2>&1) && ! grep -q 'error:' <<<"$out"; then
  say "ok   desktop-file-validate${out:+ (warnings: $out)}"
else
  say "FAIL desktop-file-validate: $out"
fi
grep -qx 'MimeType=model/vrml;x-world/x-vrml;model/x3d+vrml;model/x3d+xml;' "$share/applications/tessel.desktop" \
  && grep -qx 'Exec=tessel %f' "$share/applications/tessel.desktop" \
  && say "ok   desktop entry opens VRML files" || say "FAIL desktop entry lacks MimeType or Exec"

xmllint --noout "$share/mime/packages/tessel-vrml.xml" 2>&1 && say "ok   xmllint" || say "FAIL xmllint"
# Build a MIME database of our package alone and ask it about .wrl files.
mkdir -p "$prefix/mime/packages"
cp "$share/mime/packages/tessel-vrml.xml" "$prefix/mime/packages/"
if update-mime-database "$prefix/mime" 2>"$prefix/mime.err"; then
  grep -q 'model/vrml:\*\.wrl' "$prefix/mime/globs2" && say "ok   *.wrl is model/vrml" || say "FAIL no *.wrl glob"
  grep -q 'x-world/x-vrml model/vrml' "$prefix/mime/aliases" && say "ok   x-world/x-vrml alias" || say "FAIL no alias"
  grep -q 'model/vrml' "$prefix/mime/magic" && grep -qa '#VRML V1.0 ascii' "$prefix/mime/magic" \
    && grep -qa '#VRML V2.0 utf8' "$prefix/mime/magic" \
    && say "ok   magic of both versions" || say "FAIL no magic for one of the versions"
  for pair in 'model/x3d+vrml:\*\.x3dv' 'model/x3d+vrml:\*\.x3dvz' 'model/x3d+xml:\*\.x3d' 'model/x3d+xml:\*\.x3dz'; do
    grep -q "$pair" "$prefix/mime/globs2" && say "ok   glob $pair" || say "FAIL no glob $pair"
  done
  grep -qa '#X3D V3' "$prefix/mime/magic" && grep -qa '<X3D' "$prefix/mime/magic" \
    && say "ok   magic of both X3D encodings" || say "FAIL no magic for an X3D encoding"
else
  say "FAIL update-mime-database: $(cat "$prefix/mime.err")"
fi

# The thumbnailer entry, run as a file manager would: %i input, %o output,
# %s size.
exec_line=$(sed -n 's/^Exec=//p' "$share/thumbnailers/tessel.thumbnailer")
grep -qx 'MimeType=model/vrml;x-world/x-vrml;model/x3d+vrml;model/x3d+xml;' "$share/thumbnailers/tessel.thumbnailer" \
  && say "ok   thumbnailer MIME types" || say "FAIL thumbnailer MIME types"
thumb=$prefix/thumb.png
cmd=${exec_line//%i/$examples/shapes.wrl}
cmd=${cmd//%o/$thumb}
cmd=${cmd//%s/128}
# shellcheck disable=SC2086
if env -u DISPLAY PATH="$prefix/bin:$PATH" $cmd; then
  got=$(identify -format '%wx%h' "$thumb" 2>/dev/null)
  [ "$got" = "128x128" ] && say "ok   thumbnail $got" || say "FAIL thumbnail is '$got'"
  # The standard reading, the thumbnailer's, draws the scene: more than the
  # grey background.
  colours=$(identify -format '%k' "$thumb" 2>/dev/null)
  [ "${colours:-0}" -gt 2 ] && say "ok   thumbnail shows the scene ($colours colours)" \
    || say "FAIL thumbnail has $colours colours"
else
  say "FAIL thumbnailer command failed: $cmd"
fi
# A VRML 2.0 file: its sky colour (0.55 0.7 0.95) behind the scene.
thumb2=$prefix/thumb2.png
cmd=${exec_line//%i/$examples/vrml97.wrl}
cmd=${cmd//%o/$thumb2}
cmd=${cmd//%s/128}
# shellcheck disable=SC2086
if env -u DISPLAY PATH="$prefix/bin:$PATH" $cmd; then
  corner=$(convert "$thumb2" -format '%[fx:round(255*p{0,0}.r)] %[fx:round(255*p{0,0}.g)] %[fx:round(255*p{0,0}.b)]' info: 2>/dev/null)
  colours=$(identify -format '%k' "$thumb2" 2>/dev/null)
  if awk -v c="$corner" 'BEGIN { split(c, v, " "); exit !(v[1] >= 138 && v[1] <= 142 && v[2] >= 176 && v[2] <= 180 && v[3] >= 240 && v[3] <= 244) }' \
    && [ "${colours:-0}" -gt 2 ]; then
    say "ok   VRML 2.0 thumbnail: the sky ($corner) and the scene ($colours colours)"
  else
    say "FAIL VRML 2.0 thumbnail: corner '$corner', $colours colours"
  fi
else
  say "FAIL thumbnailer command failed on a VRML 2.0 file: $cmd"
fi
# Both X3D encodings make thumbnails too.
for file in pair.x3dv pair.x3d; do
  thumb3=$prefix/thumb-$file.png
  cmd=${exec_line//%i/$examples/../tests/formats/data/x3d/$file}
  cmd=${cmd//%o/$thumb3}
  cmd=${cmd//%s/128}
  # shellcheck disable=SC2086
  if env -u DISPLAY PATH="$prefix/bin:$PATH" $cmd; then
    colours=$(identify -format '%k' "$thumb3" 2>/dev/null)
    [ "${colours:-0}" -gt 2 ] && say "ok   X3D thumbnail of $file ($colours colours)" \
      || say "FAIL X3D thumbnail of $file has $colours colours"
  else
    say "FAIL thumbnailer command failed on $file: $cmd"
  fi
done
exit $fail
