#!/usr/bin/env bash
# Builds Verrin into ${VERRIN_BUILD_DIR:-build}. When run as root, first
# installs the Debian packages the build needs, if any is missing.
# Environment: VERRIN_BUILD_DIR, VERRIN_SANITIZE=ON|OFF, VERRIN_JOBS.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config libicu-dev libgtest-dev clang-format)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    echo "Installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
  else
    echo "Missing build packages: ${missing[*]} (run this script as root to install them)" >&2
  fi
fi

build_dir=${VERRIN_BUILD_DIR:-build}
jobs=${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVERRIN_SANITIZE="${VERRIN_SANITIZE:-OFF}" >/dev/null
cmake --build "$build_dir" -j "$jobs"
