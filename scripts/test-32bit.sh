#!/usr/bin/env bash
# Builds Verrin for 32-bit x86 Linux (-m32, Debian multiarch i386 libraries)
# into build-32 and runs the whole suite there. On 32-bit targets the record
# layout static_asserts of include/verrin/verrin.h are compiled in.
# As root, first installs what is missing (adds the i386 architecture, and
# qemu-user when the kernel cannot run 32-bit programs itself); exits with
# 77 when apt cannot install them (CI reports the step as skipped).
# Environment: VERRIN_BUILD_DIR (default build-32), VERRIN_JOBS, VERRIN_WERROR;
# VERRIN_32BIT_SUITES="api engine maxent resource" builds and runs only those
# test programs and the C interface test (what CI runs: the whole suite under
# qemu-i386 takes too long there).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++-multilib libicu-dev:i386 googletest libcpp-httplib-dev:i386
  nlohmann-json3-dev)
# Without the kernel's 32-bit support, the programs run under qemu-i386.
. scripts/lib/i386.sh
kernel_runs_i386 || packages+=(qemu-user)
. scripts/lib/packages.sh
require_packages --installing "test-32bit: installing %s" \
  --not-root "test-32bit: missing packages: %s (run as root to install them)" -- "${packages[@]}" ||
  packages_failed test-32bit $?

build_dir=${VERRIN_BUILD_DIR:-build-32}
jobs=${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}
toolchain=$PWD/cmake/i686-linux-gnu.cmake

# GoogleTest is shipped as source; build it for i386 once.
gtest_prefix=$PWD/$build_dir/googletest
if [ ! -f "$gtest_prefix/.built" ]; then
  cmake -S /usr/src/googletest -B "$build_dir/googletest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$build_dir/googletest-build" -j "$jobs" >/dev/null
  cmake --install "$build_dir/googletest-build" >/dev/null
  touch "$gtest_prefix/.built"
fi

cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_PREFIX_PATH="$gtest_prefix" -DVERRIN_BUILD_BENCH=OFF \
  -DVERRIN_WERROR="${VERRIN_WERROR:-OFF}" >/dev/null
suites=${VERRIN_32BIT_SUITES:-}
targets=()
for suite in $suites; do targets+=("test_$suite"); done
[ -n "$suites" ] && targets+=(verrin test_c_interface)
cmake --build "$build_dir" -j "$jobs" ${suites:+--target "${targets[@]}"}
# Byte 4 of an ELF header is its class: 1 for 32-bit objects.
[ "$(od -An -tx1 -j4 -N1 "$build_dir/libverrin.so" | tr -d ' ')" = 01 ] || {
  echo "test-32bit: $build_dir/libverrin.so is not a 32-bit library" >&2
  exit 1
}
if [ -z "$suites" ]; then
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
  exit
fi
run=()
/lib/ld-linux.so.2 --version >/dev/null 2>&1 || run=(qemu-i386)
status=0
for suite in $suites; do
  echo "== test_$suite"
  "${run[@]}" "$build_dir/tests/test_$suite" --gtest_brief=1 || status=1
done
echo "== test_c_interface"
"${run[@]}" "$build_dir/tests/test_c_interface" tests/data/tagger "$build_dir/tests" && echo passed || status=1
exit $status
