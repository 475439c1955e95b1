#!/usr/bin/env bash
# Builds the Debian packages (vexa-eval and python3-vexa) into BUILD_DIR (default:
# build-package) and prints their paths, vexa-eval's last.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build_dir=${BUILD_DIR:-build-package}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVEXA_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "$@" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" --target vexa-eval vexa-cli vexa vexa_man_pages
(cd "$build_dir" && cpack -G DEB >/dev/null)
ls "$build_dir"/python3-vexa_*.deb
ls "$build_dir"/vexa-eval_*.deb
