#!/usr/bin/env bash
# Builds Verrin into ${VERRIN_BUILD_DIR:-build}. When run as root, first
# installs the Debian packages the build needs, if any is missing.
# Environment: VERRIN_BUILD_DIR, VERRIN_SANITIZE=ON|OFF, VERRIN_WERROR=ON|OFF, VERRIN_JOBS,
#   VERRIN_BUILD_TESTS=ON|OFF (default ON: the test suite, its packages and
#   the benchmarks), VERRIN_TARGETS (default: everything configured).
set -euo pipefail
cd "$(dirname "$0")/.."

tests=${VERRIN_BUILD_TESTS:-ON}
packages=(cmake g++ make pkg-config libicu-dev libcpp-httplib-dev nlohmann-json3-dev)
if [ "$tests" = ON ]; then packages+=(libgtest-dev clang-format help2man); fi
. scripts/lib/packages.sh
# Not root (status 2), the build goes on and names what it lacks.
require_packages --progress --installing \
  "Installing the Debian packages %s with their dependencies (apt-get; about a minute on a fresh machine)" \
  --not-root "Missing build packages: %s (run this script as root to install them)" \
  -- "${packages[@]}" || [ $? = 2 ]

build_dir=${VERRIN_BUILD_DIR:-build}
jobs=${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVERRIN_SANITIZE="${VERRIN_SANITIZE:-OFF}" -DVERRIN_WERROR="${VERRIN_WERROR:-OFF}" \
  -DVERRIN_BUILD_TESTS="$tests" -DVERRIN_BUILD_BENCH="${VERRIN_BUILD_BENCH:-$tests}" >/dev/null
targets=()
for t in ${VERRIN_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build_dir" -j "$jobs" "${targets[@]}"
