#!/usr/bin/env bash
# Installs what is needed, builds, and starts the program. Without an attached USB SPI card, FTDI
# board, spidev node or parallel port, or with --simulate, it runs against the simulated sensor. Without a display it
# starts under a virtual one (xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_BENCH=OFF

args=("$@")
has_usb_adapter() { grep -qsiE '^(5645|0403)$' /sys/bus/usb/devices/*/idVendor; }
has_port() { ls /dev/parport* /dev/spidev* >/dev/null 2>&1; }
if [ ${#args[@]} -eq 0 ] && ! has_usb_adapter && ! has_port; then
  echo "No USB SPI card, FTDI board, spidev node or parallel port found: starting with the"
  echo "simulated sensor."
  args=(--simulate)
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting on a virtual X server."
  exec xvfb-run -a -s "-screen 0 1600x1000x24" ./build/vexa-eval "${args[@]}"
fi
exec ./build/vexa-eval "${args[@]}"
