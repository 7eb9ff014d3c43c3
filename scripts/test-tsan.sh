#!/usr/bin/env bash
# Builds the tests with ThreadSanitizer in ${VERRIN_BUILD_DIR:-build-tsan} and
# runs the suites that start threads of their own (or every test with
# VERRIN_TSAN_ALL=1). Any data race fails the run.
# Environment: VERRIN_BUILD_DIR, VERRIN_JOBS, VERRIN_TSAN_ALL.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config libicu-dev libgtest-dev)
. scripts/lib/packages.sh
require_packages --installing "Installing %s" -- "${packages[@]}" || [ $? = 2 ]

build_dir=${VERRIN_BUILD_DIR:-build-tsan}
jobs=${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERRIN_SANITIZE=thread \
  -DVERRIN_WERROR="${VERRIN_WERROR:-OFF}" \
  -DVERRIN_BUILD_BENCH=OFF >/dev/null

# halt_on_error: the first race ends the test with a failure, not a warning.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
if [ "${VERRIN_TSAN_ALL:-0}" = 1 ]; then
  cmake --build "$build_dir" -j "$jobs"
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
else
  cmake --build "$build_dir" -j "$jobs" --target test_api test_text test_cli
  "$build_dir/tests/test_api" --gtest_filter='ConcurrentTaggingTest.*'
  "$build_dir/tests/test_cli" --gtest_filter='TagCommandTest.SameOutputForEveryThreadCount'
  "$build_dir/tests/test_text" --gtest_filter='CodePage*'
fi
