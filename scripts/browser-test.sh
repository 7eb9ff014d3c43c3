#!/usr/bin/env bash
# Drives the page of `verrin serve` in headless Chromium (tests/browser/page_test.py)
# and saves a screenshot to ${VERRIN_BUILD_DIR:-build}/serve-page.png (or $1).
# When run as root, installs chromium and chromium-driver if missing; otherwise
# a missing browser skips the test with a message.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VERRIN_BUILD_DIR:-build}
screenshot=${1:-$build_dir/serve-page.png}

# The page is the same in every build; the plain build's run is the one that counts.
if [ "${VERRIN_SANITIZE:-OFF}" != OFF ]; then
  echo "browser test: skipped in the sanitizer build (it runs in the plain build)" >&2
  exit 0
fi

if ! "$build_dir/verrin" serve --help | grep -q "^Endpoints"; then
  echo "browser test skipped: $build_dir/verrin was not built" >&2
  exit 0
fi
if "$build_dir/verrin" serve --help | grep -q "This build has no service"; then
  echo "browser test skipped: verrin was built without the service" \
    "(libcpp-httplib-dev and nlohmann-json3-dev missing)" >&2
  exit 0
fi
if ! command -v chromium >/dev/null || ! command -v chromedriver >/dev/null; then
  # The font only makes the Chinese of the screenshot readable.
  . scripts/lib/packages.sh
  status=0
  require_packages --progress \
    --installing "browser test: installing %s with their dependencies (about 2 minutes, 300 MB)" \
    -- chromium chromium-driver fonts-wqy-zenhei || status=$?
  if [ $status = 2 ]; then
    echo "browser test skipped: chromium and chromium-driver are not installed" \
      "(run as root to have them installed)" >&2
    exit 0
  fi
  [ $status = 0 ] || { echo "browser test: apt-get could not install chromium" >&2; exit 1; }
fi
python3 tests/browser/page_test.py "$build_dir/verrin" "$screenshot"
