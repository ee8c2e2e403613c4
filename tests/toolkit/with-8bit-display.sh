#!/usr/bin/env bash
# Runs a command on a private Xvfb server whose screen is 8-bit PseudoColor,
# the kind of display that needs palettes.
exec "$(dirname "$0")/../with-display.sh" --screen 1024x768x8 "$@"
