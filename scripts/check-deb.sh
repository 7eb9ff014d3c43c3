#!/usr/bin/env bash
# Builds the Debian package of Verrin with CPack from an existing build tree
# (default: build, as scripts/test.sh leaves it), installs it with dpkg, uses
# the installed command, library, pkg-config file and man page, and removes
# the package again. Checks that the program and library are stripped and
# that the library lies in the multiarch folder (/usr/lib/x86_64-linux-gnu).
# A copy installed below /usr/local (`cmake --install build`) does not
# interfere: pkg-config, the compiler, the linker and the loader are pointed
# at the package's files. Needs root; installs dpkg-dev (for the package's
# library dependencies), help2man and man-db when missing.
# Environment: VERRIN_BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VERRIN_BUILD_DIR:-build}
fail() { echo "check-deb: $*" >&2; exit 1; }
# expect WHAT EXPECTED ACTUAL: fails naming both values when they differ.
expect() {
  [ "$2" = "$3" ] || fail "$1: expected
  $2
but got
  $3"
}
[ "$(id -u)" = 0 ] || fail "run as root (the package is installed with dpkg)"
[ -f "$build_dir/CMakeCache.txt" ] || fail "no build tree in $build_dir (run scripts/build.sh)"

. scripts/lib/packages.sh
require_packages --installing "check-deb: installing %s" -- dpkg-dev help2man man-db pkg-config g++ binutils
# Something was installed: the build tree finds help2man now.
[ ${#missing_packages[@]} = 0 ] || cmake "$build_dir" >/dev/null
if dpkg-query -W -f='${Status}' verrin 2>/dev/null | grep -q "install ok installed"; then
  fail "a verrin package is already installed; remove it first (dpkg -r verrin)"
fi

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
# A build tree configured before the library moved to the multiarch folder
# still names lib/ in its cache.
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build_dir/CMakeCache.txt")
if [ "$libdir" != "lib/$multiarch" ]; then
  echo "check-deb: $build_dir installs libraries into $libdir; configuring lib/$multiarch" >&2
  cmake -DCMAKE_INSTALL_LIBDIR="lib/$multiarch" "$build_dir" >/dev/null
fi

cmake --build "$build_dir" -j "${VERRIN_JOBS:-2}" --target verrin verrin_cli verrin_man
rm -f "$build_dir"/verrin_*.deb
(cd "$build_dir" && cpack -G DEB >cpack.log) || { cat "$build_dir/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$build_dir"/verrin_*.deb)
echo "check-deb: built $deb ($(du -k "$deb" | cut -f1) KB)" >&2
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Installed-Size\|Depends\):/  \1:/p' >&2

work=$(mktemp -d)
cleanup() {
  dpkg -r verrin >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
dpkg -i "$deb" >/dev/null || fail "dpkg -i $deb failed"

lib=/usr/lib/$multiarch/libverrin.so
[ -e "$lib" ] || fail "no $lib (package holds: $(dpkg -L verrin | grep 'libverrin\.so' | tr '\n' ' '))"
for binary in /usr/bin/verrin "$(realpath "$lib")"; do
  sections=$(readelf -S -W "$binary" | { grep -o -E '\.(debug_[a-z]+|symtab)\b' || true; } |
    sort -u | tr '\n' ' ')
  expect "sections of debug information or symbols in $binary" "" "$sections"
done

version=$(sed -n 's/^#define VERRIN_VERSION "\(.*\)"$/\1/p' include/verrin/verrin.h)
expect "/usr/bin/verrin --version" "verrin $version" "$(/usr/bin/verrin --version)"
expect "/usr/bin/verrin tag" "[P 江泽民] 在 [L 北京] 。 " "$(printf '江泽民在北京。\n' | /usr/bin/verrin tag)"
expect "/usr/bin/verrin tag --res web" "[O 腾讯控股有限公司] 今天 发布 财报 。 " \
  "$(printf '腾讯控股有限公司今天发布财报。\n' | /usr/bin/verrin tag --res web)"
man -P cat verrin 2>/dev/null | grep -q 'tagfile' || fail "man verrin does not describe tagfile"

# Only the package's pkg-config file, header and library: a copy below
# /usr/local would otherwise come first for each of them.
export PKG_CONFIG_LIBDIR=/usr/lib/$multiarch/pkgconfig:/usr/share/pkgconfig
expect "pkg-config --variable=resourcedir verrin" /usr/share/verrin/default \
  "$(pkg-config --variable=resourcedir verrin)"
expect "pkg-config --variable=libdir verrin" "/usr/lib/$multiarch" "$(pkg-config --variable=libdir verrin)"
mkdir "$work/include"
ln -s /usr/include/verrin "$work/include/verrin"
sed -n '/^```c++$/,/^```$/p' README.md | sed '1d;$d' >"$work/host.cc"
# shellcheck disable=SC2046
g++ -std=c++17 -I"$work/include" -o "$work/host" "$work/host.cc" \
  $(pkg-config --cflags --libs verrin | sed 's/-lverrin\b//') "$lib" -Wl,-rpath,"/usr/lib/$multiarch" ||
  fail "the README's example does not build against the package"
expect "the library the README's example loads" "$(realpath "$lib")" \
  "$(realpath "$(ldd "$work/host" | sed -n 's/^\s*libverrin\.so[^ ]* => \([^ ]*\).*/\1/p')")"
out=$("$work/host") || fail "the README's example failed"
expected="resources /usr/share/verrin/default
P at 0, 3 units
L at 4, 2 units"
expect "the README's example" "$expected" "$out"
dpkg -r verrin >/dev/null || fail "dpkg -r verrin failed"
[ ! -e /usr/bin/verrin ] || fail "/usr/bin/verrin left after removal"
echo "check-deb: $(basename "$deb") installed, used (command, man page, library example) and removed"
