#!/usr/bin/env bash
# Runs a command on a private Xvfb server whose screen is 8-bit PseudoColor,
# the kind of display that needs palettes.
exec xvfb-run -a -s "-screen 0 1024x768x8 -nolisten tcp" "$@"
