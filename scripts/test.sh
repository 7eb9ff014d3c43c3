#!/usr/bin/env bash
# Builds Verrin with its tests and runs the whole suite, then the browser test
# of the service page (skipped with a message when Chromium is missing).
# Environment: as scripts/build.sh (VERRIN_BUILD_DIR, VERRIN_SANITIZE); the Python
# package is built and tested by scripts/python-test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
scripts/check-format.sh
ctest --test-dir "${VERRIN_BUILD_DIR:-build}" --output-on-failure -j "${VERRIN_JOBS:-2}"
scripts/python-test.sh
scripts/browser-test.sh
