#!/usr/bin/env bash
# Builds Verrin with its tests and runs the whole suite: the C++ tests, the
# Python package's (scripts/python-test.sh), the browser test of the service
# page (scripts/browser-test.sh; skipped with a message when Chromium is
# missing and this is not root) and the README's code blocks
# (scripts/check-readme.sh). As root, each step first installs the Debian
# packages it lacks, naming each as apt sets it up.
# Environment: as scripts/build.sh (VERRIN_BUILD_DIR, VERRIN_SANITIZE, VERRIN_JOBS).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
step() { echo "== test.sh: $* ($(($(date +%s) - start)) s in)" >&2; }
step "build (scripts/build.sh)"
scripts/build.sh
step "format (scripts/check-format.sh)"
scripts/check-format.sh
step "C++ tests (ctest)"
ctest --test-dir "${VERRIN_BUILD_DIR:-build}" --output-on-failure -j "${VERRIN_JOBS:-2}"
step "Python package (scripts/python-test.sh)"
scripts/python-test.sh
step "service page in Chromium (scripts/browser-test.sh)"
scripts/browser-test.sh
if [ "${VERRIN_SANITIZE:-OFF}" = OFF ] && [ "${VERRIN_BUILD_DIR:-build}" = build ]; then
  step "README code blocks (scripts/check-readme.sh)"
  scripts/check-readme.sh
fi
step "done"
