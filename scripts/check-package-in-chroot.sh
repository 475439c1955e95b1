#!/usr/bin/env bash
# Installs the Debian package on a fresh Debian 12 root (debootstrap) and uses it there:
# `vexa-cli --simulate dump`, `python3 -c "import vexa"` (python3-vexa beside it), and
# `vexa-eval --simulate --screenshot` under xvfb-run. Needs root
# and Debian's package archive; takes a few minutes. Usage: check-package-in-chroot.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "${1:?usage: check-package-in-chroot.sh vexa-eval_VERSION_ARCH.deb}")
root=${CHROOT_DIR:-/var/tmp/vexa-bookworm}
# The archive this machine's apt uses, unless MIRROR names another.
mirror=${MIRROR:-}
if [ -z "$mirror" ]; then
  mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\(https\{0,1\}:[^ ]*\).*/\2/p' | head -1 || true)
fi
if [ -z "$mirror" ]; then
  mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1 |
    cut -d' ' -f1 || true)
fi
[ -n "$mirror" ] || { echo "no Debian archive found in apt's sources: set MIRROR" >&2; exit 1; }

if [ ! -x "$root/usr/bin/apt-get" ]; then
  debootstrap --variant=minbase bookworm "$root" "$mirror"
fi
cleanup() { umount -l "$root/proc" "$root/dev" 2>/dev/null || true; }
trap cleanup EXIT
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$root/tmp/"
pydeb=$(ls "$(dirname "$deb")"/python3-vexa_*.deb | head -1)
cp "$pydeb" "$root/tmp/"
chroot "$root" /bin/sh -ec "
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq ./tmp/$(basename "$deb") ./tmp/$(basename "$pydeb") xvfb xauth >/dev/null
  cd /tmp
  vexa-cli --version
  vexa-cli --simulate --interface usb dump | head -5
  python3 -c \"import vexa; print(vexa.open(interface='usb', simulate=True).product())\"
  timeout 120 xvfb-run -a vexa-eval --simulate --screenshot /tmp/out.png
  ls -l /tmp/out.png
"
cp "$root/tmp/out.png" "${SCREENSHOT_OUT:-/tmp/vexa-chroot-screenshot.png}"
echo "installed and ran in $root"
