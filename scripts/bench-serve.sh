#!/usr/bin/env bash
# Load benchmark of `verrin serve` over loopback: 20,000 requests (or $1) from
# 8 clients mixing good and bad requests, every answer checked; prints
# requests/s, characters/s and the server's resident memory. Then the
# hostile-client figures of scripts/stress-serve.py (slow clients, memory,
# shutdown). Needs a build with the tests (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VERRIN_BUILD_DIR:-build}
VERRIN_SERVE_LOAD_REQUESTS=${1:-20000} "$build_dir/tests/test_serve" \
  --gtest_filter='ServeLoadTest.*' 2>/dev/null | grep -E "^serve load|OK|FAILED"
scripts/stress-serve.py "$build_dir/verrin"
