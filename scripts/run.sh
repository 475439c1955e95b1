#!/usr/bin/env bash
# Installs what is needed, builds, and starts the program. Without an attached USB SPI card or
# parallel port, or with --simulate, it runs against the simulated sensor. Without a display it
# starts under a virtual one (xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_BENCH=OFF

args=("$@")
has_card() { grep -qsi '^5645$' /sys/bus/usb/devices/*/idVendor; }
if [ ${#args[@]} -eq 0 ] && ! has_card && ! ls /dev/parport* >/dev/null 2>&1; then
  echo "No USB SPI card or parallel port found: starting with the simulated sensor."
  args=(--simulate)
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting on a virtual X server."
  exec xvfb-run -a -s "-screen 0 1600x1000x24" ./build/vexa-eval "${args[@]}"
fi
exec ./build/vexa-eval "${args[@]}"
