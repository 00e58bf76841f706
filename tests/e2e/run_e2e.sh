#!/usr/bin/env bash
# Runs the end-to-end suite on the display there is, or on a virtual one of its own.
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
