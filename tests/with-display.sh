#!/usr/bin/env bash
# Runs a command on a private Xvfb server (24-bit, 1280x1024), so that tests
# that open windows never depend on, or disturb, the user's display.
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
