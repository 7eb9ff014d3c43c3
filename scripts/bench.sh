#!/usr/bin/env bash
# Tagging speed, load time and peak memory of the shipped model.
#
#   scripts/bench.sh [TEXT] [bench options...]
#
# Builds a Release build in build-release (VERRIN_BENCH_BUILD_DIR) and runs
# bench_tagger_bench on TEXT, one sentence per line (UTF-8). Without TEXT the
# development set pd_bio/example.dev (one character and its tag per line) is
# looked up under ../shared/corpora or ../../shared/corpora of the source tree
# and turned into one line per sentence. Then the peak memory of
# `verrin tag` on the same text is measured. Extra options go to the
# benchmark (--repeat N, --threads N, --option N).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${VERRIN_BENCH_BUILD_DIR:-build-release}

text=${1:-}
if [[ $# -gt 0 ]]; then shift; fi
tmp=""
if [[ -z "$text" ]]; then
  for dir in ../shared/corpora ../../shared/corpora; do
    if [[ -f "$dir/pd_bio/example.dev" ]]; then
      tmp=$(mktemp)
      trap 'rm -f "$tmp"' EXIT
      # One line per sentence: the characters of the blank-line separated blocks.
      awk 'NF == 0 { if (s != "") print s; s = ""; next } { s = s $1 } END { if (s != "") print s }' \
        "$dir/pd_bio/example.dev" > "$tmp"
      text=$tmp
      break
    fi
  done
  if [[ -z "$text" ]]; then
    echo "bench.sh: no TEXT given and pd_bio/example.dev not found under ../shared/corpora" >&2
    exit 2
  fi
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVERRIN_BUILD_TESTS=OFF \
  -DVERRIN_BUILD_BENCH=ON > /dev/null
cmake --build "$build" -j "${VERRIN_JOBS:-2}" --target bench_tagger_bench verrin_cli > /dev/null

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
"$build/bench/bench_tagger_bench" "$@" "$text"

if [[ ! -x /usr/bin/time && $(id -u) -eq 0 ]]; then
  apt-get install -y time > /dev/null 2>&1 || true
fi
if [[ -x /usr/bin/time ]]; then
  peak=$( { /usr/bin/time -f '%M' "$build/verrin" tag --res "$root/resources/default" "$text" \
    > /dev/null; } 2>&1 | tail -n 1)
  echo "verrin tag: peak memory $((peak / 1024)) MB"
else
  echo "verrin tag: /usr/bin/time not installed, peak memory not measured"
fi
