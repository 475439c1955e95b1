#!/bin/sh
# vexa-eval --screenshot in a folder without CommPort.cfg (no interface: the load says so and
# Read does nothing) must still write the image and end by itself, also when the window
# system's own options are on the command line.
set -eu
program=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
# Leak checking of the window system's exit is not what this test is about.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 timeout 100 "$program" -platform offscreen \
  --screenshot shot.png
test -s shot.png || { echo "no image written" >&2; exit 1; }
echo "screenshot written and program ended"
