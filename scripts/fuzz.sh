#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in ${VERRIN_BUILD_DIR:-build-fuzz} and runs each
# for SECONDS seconds (default 30), two at a time, starting from its committed
# seed corpus in tests/fuzz/corpus/<target>. New inputs go to a scratch
# corpus, never into the repository. A crash, leak or sanitizer report fails
# the run and leaves the input in ${VERRIN_FUZZ_WORK:-build-fuzz/work}/<target>/.
# Prints executions, executions per second and coverage per target.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
# Environment: VERRIN_BUILD_DIR, VERRIN_JOBS, VERRIN_FUZZ_WORK, VERRIN_FUZZ_PARALLEL.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
all_targets=(fuzz_tag_line fuzz_tag_shipped fuzz_model_file fuzz_resource_file
  fuzz_protected_file fuzz_training_line fuzz_convert)
# The service's target is built when the service is (cpp-httplib, nlohmann-json).
if pkg-config --exists cpp-httplib 2>/dev/null && [ -f /usr/include/nlohmann/json.hpp ]; then
  all_targets+=(fuzz_serve_request)
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

# clang with its compiler runtime (libFuzzer and the sanitizers). Without
# them the run is skipped with a message, not failed: CI machines without
# clang still pass the rest of their steps.
skip() {
  echo "fuzz.sh: skipped: $*" >&2
  exit 0
}
packages=(cmake make pkg-config libicu-dev clang libclang-rt-dev)
. scripts/lib/packages.sh
status=0
require_packages --installing "Installing %s" -- "${packages[@]}" || status=$?
if [ $status = 1 ]; then
  skip "could not install ${missing_packages[*]}"
elif [ $status = 2 ] && ! command -v "${CXX_FUZZ:-clang++}" >/dev/null; then
  skip "no clang (missing packages ${missing_packages[*]}; run as root to install them)"
fi
# A clang that cannot link a fuzzer (no runtime) is no clang for this script.
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
  >"$probe_dir/probe.cc"
"${CXX_FUZZ:-clang++}" -fsanitize=fuzzer,address "$probe_dir/probe.cc" -o "$probe_dir/probe" \
  2>/dev/null || skip "${CXX_FUZZ:-clang++} cannot build a libFuzzer target (compiler runtime missing)"

build_dir=${VERRIN_BUILD_DIR:-build-fuzz}
jobs=${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}
work=${VERRIN_FUZZ_WORK:-$build_dir/work}
parallel=${VERRIN_FUZZ_PARALLEL:-2}
# -O1 with line tables: a build about half as long as -O2 -g, and the
# sanitizer reports still name file and line.
CXX=${CXX_FUZZ:-clang++} cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
  -DVERRIN_FUZZ=ON -DVERRIN_BUILD_TESTS=OFF -DVERRIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j "$jobs" --target "${targets[@]}"

bin=$(realpath "$build_dir/tests/fuzz")
export ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

run_one() {
  local target=$1
  local dir="$work/$target"
  rm -rf "$dir"
  mkdir -p "$dir/corpus"
  dir=$(realpath "$dir")
  cp tests/fuzz/corpus/"$target"/* "$dir/corpus/" 2>/dev/null || true
  (cd "$dir" && "$bin/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/" corpus >log.txt 2>&1)
}

failed=0
pids=()
names=()
for target in "${targets[@]}"; do
  run_one "$target" &
  pids+=($!)
  names+=("$target")
  if [ ${#pids[@]} -ge "$parallel" ]; then
    wait "${pids[0]}" || { echo "FAILED: ${names[0]} (see $work/${names[0]}/log.txt)"; failed=1; }
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || { echo "FAILED: ${names[$i]} (see $work/${names[$i]}/log.txt)"; failed=1; }
done

printf '%-22s %12s %10s %8s %8s\n' target executions exec/s cov ft
for target in "${targets[@]}"; do
  log="$work/$target/log.txt"
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo ?)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo ?)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo ?)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo ?)
  printf '%-22s %12s %10s %8s %8s\n' "$target" "$runs" "$rate" "$cov" "$ft"
done
exit $failed
