#!/usr/bin/env bash
# Tags three very long lines with the shipped model and prints the time and
# the peak memory of each run (GNU time), all made of the same text:
#   plain  every punctuation mark and symbol removed: one run without a
#          delimiter, cut only by the clause limit's rule for long runs;
#   marks  only the common marks removed (。，、；：“”！？（）): the rest
#          (《》『』℃／ and others) still close clauses, of hundreds to a few
#          thousand characters, tagged whole since they are below the limit;
#   news   the text as it is.
# Usage: scripts/bench-long-lines.sh [MEGABYTES [NEWS_TEXT]]   (default 50)
# NEWS_TEXT is a UTF-8 file of raw news text whose lines are joined into each
# line (default resources/example.txt).
# Environment: VERRIN_BUILD_DIR (default build-release), VERRIN_JOBS, VERRIN_CLI
# (an existing verrin binary to measure instead of building one).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -x /usr/bin/time ]; then
  if [ "$(id -u)" = 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq time >/dev/null
  else
    echo "bench-long-lines: /usr/bin/time is missing (apt-get install time)" >&2
    exit 1
  fi
fi

megabytes=${1:-50}
news_text=${2:-resources/example.txt}
cli=${VERRIN_CLI:-}
if [ -z "$cli" ]; then
  build_dir=${VERRIN_BUILD_DIR:-build-release}
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVERRIN_BUILD_TESTS=OFF \
    -DVERRIN_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build_dir" -j "${VERRIN_JOBS:-2}" --target verrin_cli >/dev/null
  cli=$build_dir/verrin
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bytes=$((megabytes * 1000000))
# Repeated whole lines of the text, joined without line feeds.
tr -d '\r\n' < "$news_text" > "$work/news-unit.txt"
perl -CSD -pe 's/[\p{P}\p{S}]//g' "$work/news-unit.txt" > "$work/plain-unit.txt"
sed 's/[。，、；：“”！？（）]//g' "$work/news-unit.txt" > "$work/marks-unit.txt"
make_line() {
  local unit=$1 out=$2
  local size count
  size=$(stat -c %s "$unit")
  count=$((bytes / size + 1))
  : > "$out"
  for _ in $(seq "$count"); do cat "$unit" >> "$out"; done
  echo >> "$out"
}
for kind in plain marks news; do make_line "$work/$kind-unit.txt" "$work/$kind.txt"; done

echo "$cli, $(nproc) threads; machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
for kind in plain marks news; do
  size=$(stat -c %s "$work/$kind.txt")
  /usr/bin/time -v "$cli" tag "$work/$kind.txt" > "$work/$kind.out" 2> "$work/$kind.time"
  elapsed=$(grep 'Elapsed (wall clock)' "$work/$kind.time" | sed 's/.*): //')
  user=$(grep 'User time' "$work/$kind.time" | sed 's/.*: //')
  peak=$(grep 'Maximum resident' "$work/$kind.time" | sed 's/.*: //')
  echo "$kind line: $size bytes, wall $elapsed, user ${user} s, peak RSS $((peak / 1024)) MB," \
    "output $(stat -c %s "$work/$kind.out") bytes"
done
