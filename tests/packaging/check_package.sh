#!/usr/bin/env bash
# Checks a built Debian package: the files it installs, its declared dependencies (everything
# the programs need at run time, nothing of the build), that the programs find their libraries
# and run, and lints the desktop entry, the AppStream file and the manual pages.
set -euo pipefail
deb=${1:?usage: check_package.sh vexa-eval_VERSION_ARCH.deb}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

dpkg-deb -x "$deb" "$work/root"
root="$work/root"

for f in usr/bin/vexa-eval usr/bin/vexa-cli \
  usr/lib/udev/rules.d/60-vexa-eval.rules \
  usr/share/applications/vexa-eval.desktop \
  usr/share/icons/hicolor/scalable/apps/vexa-eval.svg \
  usr/share/metainfo/org.vexa.VexaEval.metainfo.xml \
  usr/share/man/man1/vexa-eval.1.gz usr/share/man/man1/vexa-cli.1.gz \
  usr/share/bash-completion/completions/vexa-cli; do
  if [ -e "$root/$f" ]; then pass "installs /$f"; else fail "does not install /$f"; fi
done
if find "$root" -name '*test*' -o -name '*bench*' | grep -q .; then
  fail "installs test or benchmark files: $(find "$root" -name '*test*' -o -name '*bench*')"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Every shared library the programs load must come from a package the package depends on.
for bin in vexa-eval vexa-cli; do
  for soname in $(objdump -p "$root/usr/bin/$bin" | awk '/NEEDED/ {print $2}'); do
    path=$(ldd "$root/usr/bin/$bin" | awk -v so="$soname" '$1 == so {print $3}')
    owner=""
    for candidate in "$path" "$(realpath -m "$path")" "${path#/usr}" "/usr$path"; do
      [ -n "$candidate" ] || continue
      owner=$(dpkg -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1) && [ -n "$owner" ] && break
    done
    if [ -z "$owner" ]; then
      fail "$bin needs $soname ($path), which no installed package provides"
    elif grep -q "\b$owner\b" <<<"$depends"; then
      pass "$bin: $soname from $owner, a dependency"
    else
      fail "$bin needs $soname from $owner, which is not a dependency"
    fi
  done
done
if grep -q '\bqt6-qpa-plugins\b' <<<"$depends"; then
  pass "depends on qt6-qpa-plugins (the window system plugins Qt loads at run time)"
else
  fail "no dependency on qt6-qpa-plugins"
fi
for plugin in libqt6sql6-sqlite libqt6sql6-psql; do
  if grep -q "\b$plugin\b" <<<"$depends"; then
    pass "depends on $plugin (the results store's database driver, loaded at run time)"
  else
    fail "no dependency on $plugin"
  fi
done
if grep -Eq -- '-dev\b|cmake|g\+\+|libgtest|libbenchmark|umockdev' <<<"$depends"; then
  fail "depends on build packages"
else
  pass "no build packages among the dependencies"
fi

for bin in vexa-eval vexa-cli; do
  missing=$(ldd "$root/usr/bin/$bin" | grep 'not found' || true)
  if [ -z "$missing" ]; then pass "$bin finds its libraries"; else fail "$bin: $missing"; fi
done
if "$root/usr/bin/vexa-cli" --version | grep -Eq '^vexa-cli [0-9]'; then
  pass "vexa-cli --version"
else
  fail "vexa-cli --version"
fi
if "$root/usr/bin/vexa-eval" --version | grep -Eq '^vexa-eval [0-9]'; then
  pass "vexa-eval --version"
else
  fail "vexa-eval --version"
fi
if (cd "$work" && "$root/usr/bin/vexa-cli" --simulate --interface usb dump) | grep -q PROD_ID; then
  pass "vexa-cli --simulate dump"
else
  fail "vexa-cli --simulate dump"
fi

if desktop-file-validate "$root/usr/share/applications/vexa-eval.desktop"; then
  pass "desktop entry validates"
else
  fail "desktop entry"
fi
if appstreamcli validate --no-net "$root/usr/share/metainfo/org.vexa.VexaEval.metainfo.xml" >/dev/null; then
  pass "AppStream metadata validates"
else
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.vexa.VexaEval.metainfo.xml" || true
  fail "AppStream metadata"
fi
for page in vexa-eval vexa-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null || true)
  if [ -z "$warnings" ]; then pass "manual page $page(1) has no warnings"; else fail "$page(1): $warnings"; fi
done

# The Python module, in its own package beside this one.
pydeb=$(ls "$(dirname "$deb")"/python3-vexa_*.deb 2>/dev/null | head -1 || true)
if [ -z "$pydeb" ]; then
  fail "no python3-vexa package beside $deb"
else
  dpkg-deb -x "$pydeb" "$work/pyroot"
  module=$(ls "$work"/pyroot/usr/lib/python3/dist-packages/vexa*.so 2>/dev/null | head -1 || true)
  if [ -n "$module" ] && [ -e "$work/pyroot/usr/lib/python3/dist-packages/vexa.pyi" ]; then
    pass "python3-vexa installs the module and its type stubs"
  else
    fail "python3-vexa does not install /usr/lib/python3/dist-packages/vexa*.so and vexa.pyi"
  fi
  pydepends=$(dpkg-deb -f "$pydeb" Depends)
  echo "python3-vexa Depends: $pydepends"
  for needed in python3 python3-numpy; do
    if grep -q "\b$needed\b" <<<"$pydepends"; then pass "python3-vexa depends on $needed"
    else fail "python3-vexa does not depend on $needed"; fi
  done
  if [ -n "$module" ]; then
    for soname in $(objdump -p "$module" | awk '/NEEDED/ {print $2}'); do
      path=$(ldd "$module" | awk -v so="$soname" '$1 == so {print $3}')
      owner=$(dpkg -S "$(realpath -m "$path")" 2>/dev/null | head -1 | cut -d: -f1 || true)
      [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1 || true)
      if [ -n "$owner" ] && grep -q "\b$owner\b" <<<"$pydepends"; then
        pass "vexa module: $soname from $owner, a dependency"
      else
        fail "vexa module needs $soname from ${owner:-no package}, which is not a dependency"
      fi
    done
    if (cd "$work" && PYTHONPATH="$work/pyroot/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
      "import vexa; s = vexa.open(interface='usb', simulate=True); assert s.product() == 27150"); then
      pass "python3 -c 'import vexa' and a simulated read"
    else
      fail "import vexa"
    fi
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "package check: $failures failed"
  exit 1
fi
echo "package check: all passed"
