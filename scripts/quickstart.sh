#!/usr/bin/env bash
# Builds the library and the verrin command (nothing else) and tags the
# bundled example text with the bundled resources. Run as root on Debian to
# have the missing build packages installed (cmake g++ make pkg-config
# libicu-dev).
set -euo pipefail
cd "$(dirname "$0")/.."
VERRIN_BUILD_TESTS=OFF VERRIN_TARGETS="verrin verrin_cli" scripts/build.sh >&2
build/verrin tag resources/example.txt
