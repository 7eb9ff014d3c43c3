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
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    echo "Installing the Debian packages ${missing[*]} with their dependencies (apt-get; about a minute on a fresh machine)" >&2
    export DEBIAN_FRONTEND=noninteractive
    echo "  apt-get update" >&2
    apt-get update -qq
    # One line per package set up, so that a long install is not silent.
    apt-get install -y -q -o DPkg::Lock::Timeout=300 "${missing[@]}" |
      sed -n 's/^Setting up \([^ ]*\).*/  set up \1/p' >&2
  else
    echo "Missing build packages: ${missing[*]} (run this script as root to install them)" >&2
  fi
fi

build_dir=${VERRIN_BUILD_DIR:-build}
jobs=${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVERRIN_SANITIZE="${VERRIN_SANITIZE:-OFF}" -DVERRIN_WERROR="${VERRIN_WERROR:-OFF}" \
  -DVERRIN_BUILD_TESTS="$tests" -DVERRIN_BUILD_BENCH="${VERRIN_BUILD_BENCH:-$tests}" >/dev/null
targets=()
for t in ${VERRIN_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build_dir" -j "$jobs" "${targets[@]}"
