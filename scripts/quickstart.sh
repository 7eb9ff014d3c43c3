#!/usr/bin/env bash
# Builds the library and the verrin command (nothing else) and tags the
# bundled example text with the bundled resources. Run as root on Debian to
# have the missing build packages installed (cmake g++ make pkg-config
# libicu-dev libcpp-httplib-dev nlohmann-json3-dev, with their dependencies);
# apt names each package as it is set up, and the build prints a line per
# step. A build tree that exists already keeps its settings (tests included
# or not) and only has the two targets brought up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
if [ -f build/CMakeCache.txt ]; then
  cmake --build build -j "${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}" \
    --target verrin --target verrin_cli >&2
else
  VERRIN_BUILD_TESTS=OFF VERRIN_TARGETS="verrin verrin_cli" scripts/build.sh >&2
fi
echo "quickstart: built in $(($(date +%s) - start)) s; build/verrin tag resources/example.txt:" >&2
build/verrin tag resources/example.txt
