#!/usr/bin/env bash
# Builds the Debian package of Verrin with CPack from an existing build tree
# (default: build, as scripts/test.sh leaves it), installs it with dpkg, uses
# the installed command, library, pkg-config file and man page, and removes
# the package again. Needs root; installs dpkg-dev (for the package's
# library dependencies), help2man and man-db when missing.
# Environment: VERRIN_BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VERRIN_BUILD_DIR:-build}
fail() { echo "check-deb: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || fail "run as root (the package is installed with dpkg)"
[ -f "$build_dir/CMakeCache.txt" ] || fail "no build tree in $build_dir (run scripts/build.sh)"

. scripts/lib/packages.sh
require_packages --installing "check-deb: installing %s" -- dpkg-dev help2man man-db pkg-config g++
# Something was installed: the build tree finds help2man now.
[ ${#missing_packages[@]} = 0 ] || cmake "$build_dir" >/dev/null
if dpkg-query -W -f='${Status}' verrin 2>/dev/null | grep -q "install ok installed"; then
  fail "a verrin package is already installed; remove it first (dpkg -r verrin)"
fi

cmake --build "$build_dir" -j "${VERRIN_JOBS:-2}" --target verrin verrin_cli verrin_man
rm -f "$build_dir"/verrin_*.deb
(cd "$build_dir" && cpack -G DEB >cpack.log) || { cat "$build_dir/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$build_dir"/verrin_*.deb)
echo "check-deb: built $deb" >&2
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\):/  \1:/p' >&2

work=$(mktemp -d)
cleanup() {
  dpkg -r verrin >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
dpkg -i "$deb" >/dev/null || fail "dpkg -i $deb failed"

version=$(sed -n 's/^#define VERRIN_VERSION "\(.*\)"$/\1/p' include/verrin/verrin.h)
[ "$(/usr/bin/verrin --version)" = "verrin $version" ] || fail "verrin --version"
out=$(printf '江泽民在北京。\n' | /usr/bin/verrin tag)
[ "$out" = "[P 江泽民] 在 [L 北京] 。 " ] || fail "verrin tag printed: $out"
man -P cat verrin 2>/dev/null | grep -q 'tagfile' || fail "man verrin"
[ "$(pkg-config --variable=resourcedir verrin)" = /usr/share/verrin/default ] ||
  fail "pkg-config resourcedir"
sed -n '/^```c++$/,/^```$/p' README.md | sed '1d;$d' >"$work/host.cc"
# shellcheck disable=SC2046
g++ -std=c++17 -o "$work/host" "$work/host.cc" $(pkg-config --cflags --libs verrin) ||
  fail "the README's example does not build against the package"
out=$("$work/host") || fail "the README's example failed"
expected="resources /usr/share/verrin/default
P at 0, 3 units
L at 4, 2 units"
[ "$out" = "$expected" ] || fail "the README's example printed: $out"
dpkg -r verrin >/dev/null || fail "dpkg -r verrin failed"
[ ! -e /usr/bin/verrin ] || fail "/usr/bin/verrin left after removal"
echo "check-deb: $(basename "$deb") installed, used (command, man page, library example) and removed"
