#!/usr/bin/env bash
# Cross-builds Verrin for Windows with mingw-w64 - Verrin.dll, its import
# library Verrin.lib and verrin.exe, for i686 (the primary target) and x86_64
# - and tests each build that Wine can run here: the API, engine and C
# interface tests, a `verrin.exe tag` of resources/example.txt compared byte
# for byte with the Linux build's output, and tagging through Chinese file
# paths. A machine whose kernel cannot run 32-bit programs cannot run the
# 32-bit Wine: the i686 DLL and program are then built and checked (record
# layout, imports) but not run, and the script says so.
# As root, first installs what is missing (the 32-bit Wine, and the i386
# architecture for it, only where the kernel runs 32-bit programs; when apt
# cannot install the 32-bit Wine, the rest without it); exits with 77 when apt
# cannot install them (CI reports the step as skipped).
# Environment: VERRIN_WIN_ARCHS (default "i686 x86_64"); VERRIN_LINUX_BUILD_DIR
# (default build) holding a Linux verrin for the comparison (built when
# missing); VERRIN_JOBS; VERRIN_WERROR=ON (warnings are errors).
set -euo pipefail
cd "$(dirname "$0")/.."

archs=${VERRIN_WIN_ARCHS:-i686 x86_64}
for arch in $archs; do
  case "$arch" in
    i686 | x86_64) ;;
    *) echo "test-windows: unknown architecture $arch (i686 or x86_64)" >&2 && exit 1 ;;
  esac
done
. scripts/lib/i386.sh
# The 32-bit Wine runs only where the kernel runs 32-bit programs.
runs_i386=0
kernel_runs_i386 && runs_i386=1
# The posix-thread compilers of the toolchain files, not the whole mingw-w64
# (which adds the win32-thread ones); Wine without its recommendations (fonts,
# sound, graphics), which console programs do not use.
packages=(cmake make googletest wine wine64)
for arch in $archs; do packages+=("g++-mingw-w64-${arch//_/-}-posix"); done
case " $archs " in *" i686 "*) [ $runs_i386 = 0 ] || packages+=(wine32:i386) ;; esac
. scripts/lib/packages.sh
install_packages() {
  require_packages --no-recommends --installing "test-windows: installing %s" \
    --not-root "test-windows: missing packages: %s (run as root to install them)" -- "$@"
}
install_packages "${packages[@]}" || {
  installed=$?
  # The 32-bit Wine needs the i386 indexes, which a mirror caught mid-sync
  # may not give: go on without it (the i686 build is then built, not run).
  case " ${packages[*]} " in
    *" wine32:i386 "*)
      [ $installed = 1 ] || packages_failed test-windows $installed
      echo "test-windows: the 32-bit Wine could not be installed; going on without it" >&2
      without=()
      for p in "${packages[@]}"; do [ "$p" = wine32:i386 ] || without+=("$p"); done
      install_packages "${without[@]}" || packages_failed test-windows $?
      ;;
    *) packages_failed test-windows $installed ;;
  esac
}

jobs=${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}
linux_build=${VERRIN_LINUX_BUILD_DIR:-build}
status=0
fail() {
  echo "test-windows: FAILED: $*" >&2
  status=1
}

# The Linux output the Windows program must reproduce.
if [ ! -x "$linux_build/verrin" ]; then
  cmake -S . -B "$linux_build" -DVERRIN_BUILD_BENCH=OFF >/dev/null
  cmake --build "$linux_build" -j "$jobs" --target verrin_cli
fi

build_arch() {
  local arch=$1 build_dir=build-win-$1
  local toolchain=$PWD/cmake/mingw-w64-$arch.cmake
  mkdir -p "$build_dir"
  local build_abs
  build_abs=$(cd "$build_dir" && pwd)

  # The 32-bit Wine needs a kernel that runs 32-bit programs; it does not
  # start under qemu-i386 either (qemu-user does not honour the fixed
  # addresses Wine reserves for Windows, and Debian's Wine has no preloader
  # that would map them itself).
  local wine=/usr/lib/wine/wine64 runs=1
  if [ "$arch" = i686 ]; then
    wine=/usr/lib/wine/wine
    "$wine" --version >/dev/null 2>&1 || runs=0
  fi
  local why="this kernel cannot run 32-bit programs, so the 32-bit Wine cannot start"
  if [ $runs_i386 = 1 ]; then
    why="the 32-bit Wine is not installed"
    [ ! -e "$wine" ] || why="the 32-bit Wine does not start"
  fi

  local gtest_prefix=$build_abs/googletest tests=OFF targets=(verrin verrin_cli)
  if [ $runs = 1 ]; then
    tests=ON
    targets+=(test_api test_engine test_c_interface)
    # GoogleTest is shipped as source; build it for this target once.
    if [ ! -f "$gtest_prefix/.built" ]; then
      cmake -S /usr/src/googletest -B "$build_dir/googletest-build" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -DBUILD_GMOCK=OFF >/dev/null
      cmake --build "$build_dir/googletest-build" -j "$jobs" >/dev/null
      cmake --install "$build_dir/googletest-build" >/dev/null
      touch "$gtest_prefix/.built"
    fi
  fi
  cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_PREFIX_PATH="$gtest_prefix" -DVERRIN_BUILD_TESTS=$tests -DVERRIN_BUILD_BENCH=OFF \
    -DVERRIN_WERROR="${VERRIN_WERROR:-OFF}" >/dev/null
  cmake --build "$build_dir" -j "$jobs" --target "${targets[@]}"

  # The DLL and the program may import Windows system libraries only.
  local binary dll
  for binary in "$build_dir/Verrin.dll" "$build_dir/verrin.exe"; do
    for dll in $("$arch-w64-mingw32-objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p'); do
      case "${dll,,}" in
        kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | shell32.dll) ;;
        *) fail "$binary imports $dll" ;;
      esac
    done
  done
  [ -f "$build_dir/Verrin.lib" ] || fail "$arch: no import library Verrin.lib"
  # (grep -q would stop reading early and fail the pipe under pipefail.)
  "$arch-w64-mingw32-objdump" -p "$build_dir/Verrin.dll" | grep -c 'verrin_tag_utf8$' >/dev/null \
    || fail "$arch: Verrin.dll does not export the C interface"
  echo "== $arch: built $(cd "$build_dir" && ls Verrin.dll Verrin.lib verrin.exe | tr '\n' ' ')"

  if [ $runs = 0 ]; then
    echo "== $arch: not run: $why; only the DLL and verrin.exe were built"
    return
  fi
  export WINEPREFIX=$build_abs/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  "$wine" wineboot --init >/dev/null 2>&1 || true
  # A Wine that cannot start a console program at all is a broken host, not
  # a failing build: say so and leave the runs out.
  if ! "$wine" cmd.exe /c echo ok 2>/dev/null | grep -c ok >/dev/null; then
    echo "== $arch: not run: Wine cannot start cmd.exe here (see WINEDEBUG=err+all);" \
      "only the DLL and verrin.exe were built and checked"
    return
  fi

  local t0=$SECONDS
  echo "== $arch: test_api, test_engine, test_c_interface under Wine"
  "$wine" "$build_dir/tests/test_api.exe" --gtest_brief=1 || fail "$arch: test_api"
  "$wine" "$build_dir/tests/test_engine.exe" --gtest_brief=1 || fail "$arch: test_engine"
  cp "$build_dir/Verrin.dll" "$build_dir/tests/"
  "$wine" "$build_dir/tests/test_c_interface.exe" "$PWD/tests/data/tagger" "$build_abs" \
    && echo "test_c_interface passed" || fail "$arch: test_c_interface"

  echo "== $arch: verrin.exe tag resources/example.txt against Linux"
  "$linux_build/verrin" tag --res resources/default resources/example.txt >"$build_abs/tag-linux.txt"
  "$wine" "$build_dir/verrin.exe" tag --res resources/default resources/example.txt \
    >"$build_abs/tag-windows.txt" || fail "$arch: verrin.exe tag"
  if cmp "$build_abs/tag-linux.txt" "$build_abs/tag-windows.txt"; then
    echo "identical ($(wc -c <"$build_abs/tag-linux.txt") bytes)"
  else
    fail "$arch: verrin.exe tag differs from the Linux output"
  fi

  echo "== $arch: Chinese file paths"
  local zh_dir="$build_abs/中文 路径"
  rm -rf "$zh_dir" && mkdir -p "$zh_dir"
  cp -r resources/default "$zh_dir/资源"
  head -n 3 resources/example.txt >"$zh_dir/例子.txt"
  "$wine" "$build_dir/verrin.exe" tag --res "$zh_dir/资源" "$zh_dir/例子.txt" >"$build_abs/tag-zh.txt" \
    && head -n 3 "$build_abs/tag-linux.txt" | cmp - "$build_abs/tag-zh.txt" \
    && echo "tag through Chinese paths: identical" || fail "$arch: tag through Chinese paths"
  iconv -f UTF-8 -t GBK "$zh_dir/例子.txt" >"$zh_dir/输入.txt"
  "$linux_build/verrin" tagfile --res resources/default "$zh_dir/输入.txt" "$build_abs/tagfile-linux.txt"
  "$wine" "$build_dir/verrin.exe" tagfile --res "$zh_dir/资源" "$zh_dir/输入.txt" "$zh_dir/输出.txt" \
    && cmp "$build_abs/tagfile-linux.txt" "$zh_dir/输出.txt" \
    && echo "tagfile through Chinese paths: identical" || fail "$arch: tagfile through Chinese paths"
  # Corpus conversion and scoring open their files the same way.
  "$linux_build/verrin" tag --format bio "$zh_dir/例子.txt" >"$zh_dir/标注.bio"
  "$linux_build/verrin" convert --from bio "$zh_dir/标注.bio" "$build_abs/convert-linux.txt"
  "$wine" "$build_dir/verrin.exe" convert --from bio "$zh_dir/标注.bio" "$zh_dir/语料.txt" \
    && cmp "$build_abs/convert-linux.txt" "$zh_dir/语料.txt" \
    && "$wine" "$build_dir/verrin.exe" score "$zh_dir/标注.bio" "$zh_dir/标注.bio" >"$build_abs/score.txt" \
    && "$linux_build/verrin" score "$zh_dir/标注.bio" "$zh_dir/标注.bio" | cmp - "$build_abs/score.txt" \
    && echo "convert and score through Chinese paths: identical" \
    || fail "$arch: convert or score through Chinese paths"
  echo "== $arch: Wine runs took $((SECONDS - t0)) s"
}

for arch in $archs; do build_arch "$arch"; done
[ $status = 0 ] && echo "test-windows: passed"
exit $status
