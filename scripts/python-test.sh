#!/usr/bin/env bash
# Builds the Python package `verrin` from this clone (offline: no package
# index, Debian's setuptools and pybind11) into ${VERRIN_BUILD_DIR:-build}/python-site
# and runs its pytest suite against the `verrin` command of the same build dir.
# When run as root, first installs the Debian packages it needs, if missing.
# Environment: VERRIN_BUILD_DIR, VERRIN_JOBS (parallel compile jobs),
# VERRIN_SANITIZE=ON skips the suite (the package is not built with sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${VERRIN_SANITIZE:-OFF}" = ON ]; then
  echo "python-test: skipped in the sanitizer build" >&2
  exit 0
fi

packages=(python3-dev python3-pip python3-setuptools pybind11-dev python3-pybind11
  python3-pytest python3-dask python3-distributed libicu-dev pkg-config g++)
. scripts/lib/packages.sh
require_packages --progress --installing "python-test: installing %s with their dependencies" \
  --not-root "Missing packages: %s (run this script as root to install them)" \
  -- "${packages[@]}" || [ $? = 2 ]

# Debian's interpreter: the one its python3-* packages serve.
python=/usr/bin/python3
build_dir=$(realpath -m "${VERRIN_BUILD_DIR:-build}")
site="$build_dir/python-site"
export VERRIN_JOBS=${VERRIN_JOBS:-$(nproc 2>/dev/null || echo 2)}
if command -v ccache >/dev/null && [ -z "${CC:-}" ]; then
  export CC="ccache $($python -c 'import sysconfig; print(sysconfig.get_config_var("CC"))')"
fi

start=$(date +%s)
# setuptools reuses an object file that is newer than its source even when a
# header or a flag changed: start from a clean build tree (ccache keeps this
# cheap).
rm -rf python/build
echo "python-test: building the package with $VERRIN_JOBS jobs (about 3 minutes on 2 cores; less with ccache)" >&2
log=$(mktemp "${TMPDIR:-/tmp}/verrin-pip.XXXXXX")
# A line per compiled file; the whole log only when the build fails.
if ! $python -m pip install -v --no-build-isolation --no-index --no-deps --upgrade \
  --target "$site" ./python >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "python-test: the package did not build" >&2
  exit 1
fi
sed -n 's/.* -c \([^ ]*\.cc\) -o .*/  compiled \1/p' "$log" >&2
rm -f "$log"
echo "python-test: package built and installed into $site in $(($(date +%s) - start)) s" >&2

status=0
# No __pycache__ in the source tree.
VERRIN_CLI="$build_dir/verrin" PYTHONPATH="$site" PYTHONDONTWRITEBYTECODE=1 \
  $python -m pytest -q -p no:cacheprovider tests/python || status=$?
# 5: no test was collected, which is no failure of the code.
if [ "$status" = 5 ]; then status=0; fi
exit "$status"
