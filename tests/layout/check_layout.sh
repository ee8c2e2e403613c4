#!/usr/bin/env bash
# Every folder of the source tree may include only the folders it stands
# on: dependencies point one way (see doc/architecture.md). A header of a
# folder not listed for it is a layout error, named with its line.
#   tests/layout/check_layout.sh SOURCE_ROOT
set -u
root=$1
cd "$root" || exit 2
declare -A may=(
  [scene]="scene"
  [input]="input"
  [classic]="classic input scene"
  [media]="media input scene"
  [geometry]="geometry media input scene"
  [formats]="formats input"
  [world]="world formats geometry input scene"
  [formats/vrml1]="formats/vrml1 formats world geometry media input scene"
  [formats/vrml97]="formats/vrml97 formats world geometry media input scene"
  [formats/x3d]="formats/x3d formats input"
  [open]="open formats/vrml1 formats/vrml97 formats/x3d formats world classic geometry input scene"
  [render]="render scene"
  [walk]="walk scene"
  [toolkit]="toolkit"
  [glwindow]="glwindow render toolkit scene"
  [snapshot]="snapshot render open input scene"
  [app]="app snapshot glwindow render walk toolkit open input scene"
  [tools]="tools snapshot glwindow render toolkit open input scene"
)
fail=0
for folder in "${!may[@]}"; do
  for file in "$folder"/*.cpp "$folder"/*.h; do
    [ -e "$file" ] || continue
    while IFS=: read -r line target; do
      # The folder an include names: formats/vrml1/x.h is formats/vrml1's.
      dir=${target%/*}
      [ "$dir" = "$target" ] && continue
      case " ${may[$folder]} " in
        *" $dir "*) ;;
        *) echo "$file:$line: includes \"$target\", but $folder/ may not use $dir/"; fail=1 ;;
      esac
    done < <(grep -n -o '^#include "[^"]*"' "$file" | sed 's/:#include "/:/; s/"$//')
  done
done
# Inside app/, the panel stands on the GL window's steering and on the tick's
# and the gestures' arithmetic, never the other way round.
for file in app/gl_steering.* app/spin_steps.* app/view_steering.*; do
  while IFS=: read -r line _; do
    echo "$file:$line: includes the control panel, which stands on it"
    fail=1
  done < <(grep -n '^#include "app/\(control_panel\|viewer_app\)\.h"' "$file")
done
[ $fail -eq 0 ] && echo "every include points the way the layout allows"
exit $fail
