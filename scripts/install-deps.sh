#!/usr/bin/env bash
# Installs every build, run and test dependency from Debian's packages. Skips what is there,
# so a second run is quick. Needs root or sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libusb-1.0-0-dev libeigen3-dev libftdi1-dev libfftw3-dev
  qt6-svg-dev
  libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev postgresql libpq-dev
  python3-dev pybind11-dev python3-numpy python3-pytest python3-matplotlib
  libgtest-dev libgmock-dev libbenchmark-dev
  umockdev libumockdev-dev
  xvfb xauth
  desktop-file-utils appstream man-db dpkg-dev file poppler-utils
  clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
