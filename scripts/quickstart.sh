#!/usr/bin/env bash
# Builds Verrin and tags the bundled example text with the bundled resources.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >&2
build/verrin tag resources/example.txt
