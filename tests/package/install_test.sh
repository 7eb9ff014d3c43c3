#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and builds the README's
# library example against it twice, with pkg-config and with find_package,
# then runs both and the installed program.
# Usage: install_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/verrin-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "install_test: $*" >&2; exit 1; }
# A cross build gives the emulator that runs its programs, its compiler with
# its flags and its toolchain file.
run=${VERRIN_TEST_EMULATOR:-}
cxx=${VERRIN_TEST_CXX:-g++}
toolchain=${VERRIN_TEST_TOOLCHAIN:-}

cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" || fail "install failed"
libdir=$(dirname "$(find "$prefix" -name 'libverrin.so.*.*.*' | head -n 1)")
[ -n "$libdir" ] || fail "no libverrin.so.X.Y.Z installed"
version=$(sed -n 's/^#define VERRIN_VERSION "\(.*\)"$/\1/p' "$prefix/include/verrin/verrin.h")
major=${version%%.*}
readelf -d "$libdir/libverrin.so.$version" | grep -q "SONAME.*\[libverrin.so.$major\]" ||
  fail "SONAME is not libverrin.so.$major"
[ "$($run "$prefix/bin/verrin" --version)" = "verrin $version" ] || fail "verrin --version"
if [ -f "$build_dir/verrin.1" ]; then
  grep -q '^\.SH COMMANDS' "$prefix/share/man/man1/verrin.1" || fail "man page lacks COMMANDS"
  grep -q 'tagfile' "$prefix/share/man/man1/verrin.1" || fail "man page lacks tagfile"
fi

# The installed program finds the installed resources on its own.
printf '江泽民在北京。\n' | $run "$prefix/bin/verrin" tag >"$work/tag.txt"
[ "$(cat "$work/tag.txt")" = "[P 江泽民] 在 [L 北京] 。 " ] || fail "installed verrin tag: $(cat "$work/tag.txt")"

# The README's example, as written there.
sed -n '/^```c++$/,/^```$/p' "$source_dir/README.md" | sed '1d;$d' >"$work/host.cc"
grep -q 'VerrinDefaultResourceDir' "$work/host.cc" || fail "no library example in README.md"
expected="resources $prefix/share/verrin/default
P at 0, 3 units
L at 4, 2 units"

export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion verrin)" = "$version" ] || fail "pkg-config --modversion"
[ "$(pkg-config --variable=resourcedir verrin)" = "$prefix/share/verrin/default" ] ||
  fail "pkg-config resourcedir"
# shellcheck disable=SC2046
$cxx -std=c++17 -o "$work/host-pc" "$work/host.cc" $(pkg-config --cflags --libs verrin) \
  -Wl,-rpath,"$libdir" || fail "host does not build with pkg-config"
out=$($run "$work/host-pc") || fail "host built with pkg-config failed"
[ "$out" = "$expected" ] || fail "host built with pkg-config printed: $out"

mkdir "$work/cmake-host"
cp "$work/host.cc" "$work/cmake-host/"
cat >"$work/cmake-host/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(host LANGUAGES CXX)
find_package(verrin 0.1 REQUIRED)
add_executable(host host.cc)
set_target_properties(host PROPERTIES CXX_STANDARD 17)
target_link_libraries(host PRIVATE verrin::verrin)
file(WRITE ${CMAKE_BINARY_DIR}/resource_dir.txt "${verrin_RESOURCE_DIR}")
CMAKE
cmake -S "$work/cmake-host" -B "$work/cmake-host/build" -DCMAKE_PREFIX_PATH="$prefix" \
  ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$toolchain"} \
  >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log" >&2; fail "find_package(verrin) failed"; }
cmake --build "$work/cmake-host/build" >"$work/cmake-build.log" 2>&1 ||
  { cat "$work/cmake-build.log" >&2; fail "host does not build with find_package"; }
[ "$(cat "$work/cmake-host/build/resource_dir.txt")" = "$prefix/share/verrin/default" ] ||
  fail "verrin_RESOURCE_DIR"
out=$($run "$work/cmake-host/build/host") || fail "host built with CMake failed"
[ "$out" = "$expected" ] || fail "host built with CMake printed: $out"

# A tree moved as a whole still finds its resources.
mv "$prefix" "$work/moved"
out=$(LD_LIBRARY_PATH="$work/moved/${libdir#"$prefix"/}" $run "$work/host-pc" | head -n 1)
[ "$out" = "resources $work/moved/share/verrin/default" ] || fail "moved tree: $out"
echo "install_test: installed, built and ran the example with pkg-config and with CMake"
