#!/usr/bin/env bash
# Runs the code blocks of README.md as a reader would paste them, from the top
# of the source tree, after scripts/build.sh. Which blocks run follows their
# fence (README.md says the same under "About the examples"):
#   ```console  each "$ COMMAND" line is run with bash; the lines after it, up
#               to the next "$ " line, are its output, compared byte for byte
#               (a last line "..." stands for more lines);
#   ```sh       run as a whole with bash -euo pipefail, HOME set to a scratch
#               folder (so ~/verrin-env is made afresh); not as root, an
#               "apt-get install" line only checks that its packages are there;
#   ```pycon    a Python session, run by doctest with ~/verrin-env/bin/python,
#               the environment the sh block made;
#   ```c++      the library example: tests/package/install_test.sh (ctest)
#               installs the build and builds and runs it against the install;
#   ``` or ```text  output samples and commands that need a network, a free
#               port or a corpus that is not shipped: not run.
# The Python packages the install imports must come from the README's apt
# line or what those packages depend on, so that the list works on a machine
# that has nothing else (checked with apt-cache and dpkg).
# Environment: VERRIN_BUILD_DIR (default build; the commands name build/).
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "check-readme: $*" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/verrin-readme.XXXXXX")
trap 'rm -rf "$work"' EXIT
[ -x build/verrin ] || fail "build/verrin is missing (run scripts/build.sh)"

# Each fenced block into $work/blocks/NN.LANG.
/usr/bin/python3 - "$work/blocks" <<'PY'
import os, re, sys
out = sys.argv[1]
os.makedirs(out)
lang, lines, n = None, [], 0
for line in open("README.md", encoding="utf-8"):
    fence = re.match(r"^```(\S*)\s*$", line)
    if fence and lang is None:
        lang, lines = fence.group(1) or "text", []
    elif fence:
        n += 1
        with open(f"{out}/{n:02d}.{lang.replace('+', 'x')}", "w", encoding="utf-8") as f:
            f.write("".join(lines))
        lang = None
    elif lang is not None:
        lines.append(line)
if lang is not None:
    sys.exit("README.md: a code block is not closed")
PY

counts=""
for kind in console sh pycon cxx text; do
  counts+=" $(find "$work/blocks" -name "*.$kind" | wc -l) $kind"
done
echo "check-readme: blocks:$counts" >&2
for block in "$work"/blocks/*; do
  case "$block" in
    *.console | *.sh | *.pycon | *.cxx | *.text) ;;
    *) fail "README.md: block of unknown kind ${block##*.} (see scripts/check-readme.sh)" ;;
  esac
done

# console: "$ COMMAND" and its output.
run_console() {
  /usr/bin/python3 - "$1" <<'PY'
import subprocess, sys
lines = open(sys.argv[1], encoding="utf-8").read().split("\n")[:-1]
steps = []
for line in lines:
    if line.startswith("$ "):
        steps.append((line[2:], []))
    elif steps:
        steps[-1][1].append(line)
    else:
        sys.exit(f"a console block starts without '$ ': {line!r}")
for command, expected in steps:
    print(f"check-readme: $ {command}", file=sys.stderr, flush=True)
    run = subprocess.run(["bash", "-o", "pipefail", "-c", command], stdout=subprocess.PIPE)
    actual = run.stdout.decode("utf-8", "replace").split("\n")
    if actual and actual[-1] == "":
        actual.pop()
    more = bool(expected) and expected[-1] == "..."
    shown = expected[:-1] if more else expected
    got = actual[: len(shown)] if more else actual
    if run.returncode != 0 or got != shown or (more and len(actual) <= len(shown)):
        print(f"check-readme: `{command}` (exit status {run.returncode}) printed", file=sys.stderr)
        print("\n".join(repr(l) for l in actual[:20]), file=sys.stderr)
        print("where README.md shows", file=sys.stderr)
        print("\n".join(repr(l) for l in expected), file=sys.stderr)
        sys.exit(1)
PY
}

# sh: the whole block, with a scratch HOME.
run_sh() {
  local script=$work/script.sh
  if [ "$(id -u)" = 0 ]; then
    cp "$1" "$script"
  else
    # apt-get install P... -> fail unless every P is installed.
    sed -E 's/^(sudo )?apt-get install (-y )?(.*)$/for p in \3; do dpkg-query -W -f="\${Status}" "$p" 2>\/dev\/null | grep -q "install ok installed" || { echo "check-readme: $p is not installed (run as root to install it)" >\&2; exit 1; }; done/' \
      "$1" >"$script"
  fi
  echo "check-readme: running the sh block $(basename "$1") with HOME=$work/home" >&2
  sed 's/^/  | /' "$1" >&2
  mkdir -p "$work/home"
  # The compiler cache only saves time; the commands stay as written.
  if command -v ccache >/dev/null && [ -z "${CC:-}" ]; then
    CC="ccache $(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_config_var("CC"))')"
    export CC
  fi
  # A reader starts from a clone, without the build products of the Python package.
  rm -rf python/build
  # Every module the build that pip starts imports from Debian's packages is
  # noted.
  mkdir -p "$work/trace"
  cat >"$work/trace/sitecustomize.py" <<'PY'
import atexit, os, sys
# What the .pth files of site-packages imported at start-up is no part of the
# build, nor what pip itself tries to import (optional modules): only the build
# backend that pip starts (pyproject_hooks' _in_process.py) is noted.
_at_start = set(sys.modules)
def _note():
    if not sys.argv or not sys.argv[0].endswith("_in_process.py"):
        return
    with open(os.environ["VERRIN_IMPORT_LOG"], "a") as log:
        for name, module in list(sys.modules.items()):
            path = getattr(module, "__file__", None) or ""
            if name in _at_start:
                continue
            if path.startswith("/usr/lib/python3/dist-packages/"):
                log.write(path + "\n")
atexit.register(_note)
PY
  HOME=$work/home DEBIAN_FRONTEND=noninteractive PYTHONPATH=$work/trace \
    VERRIN_IMPORT_LOG=$work/imports.txt bash -euo pipefail "$script" ||
    fail "the sh block $(basename "$1") failed"
  check_apt_line "$1"
}

# The Debian packages that own what the block used (modules imported from
# dist-packages, the headers of Python, pybind11 and ICU) must be on its
# apt-get line or among their dependencies: on a fresh machine nothing else
# is there.
check_apt_line() {
  local listed used closure missing='' file owner
  listed=$(sed -n -E 's/^(sudo )?apt-get install (-y )?//p' "$1")
  [ -n "$listed" ] || return 0
  used=$(
    {
      [ ! -f "$work/imports.txt" ] ||
        sed -E 's|^(/usr/lib/python3/dist-packages/[^/]+).*|\1|' "$work/imports.txt" | sort -u |
        while read -r file; do grep -m1 "^$file" "$work/imports.txt"; done
      /usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_paths()["include"] + "/Python.h")'
      echo /usr/include/pybind11/pybind11.h /usr/include/unicode/ucnv.h | tr ' ' '\n'
    } | while read -r file; do
      [ -e "$file" ] || continue
      dpkg -S "$file" 2>/dev/null | sed 's/: .*//; s/, /\n/g'
    done | sed 's/:.*//' | sort -u
  )
  # shellcheck disable=SC2086
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
    --no-breaks --no-replaces --no-enhances $listed 2>/dev/null | grep -v '^ ' | sed 's/:.*//' | sort -u)
  for owner in $used; do
    grep -qx "$owner" <<<"$closure" || missing+=" $owner"
  done
  echo "check-readme: the apt-get line covers what the install used: ${used//$'\n'/ }" >&2
  [ -z "$missing" ] || fail "the install used the Debian packages$missing, which the README's apt-get line does not install: $listed"
}

for block in "$work"/blocks/*.console; do run_console "$block" || exit 1; done
for block in "$work"/blocks/*.sh; do run_sh "$block"; done

# The Python packages the install used must come from the README's apt line.
if ls "$work"/blocks/*.pycon >/dev/null 2>&1; then
  python=$work/home/verrin-env/bin/python
  [ -x "$python" ] || fail "no ~/verrin-env/bin/python: the sh block did not make it"
  for block in "$work"/blocks/*.pycon; do
    echo "check-readme: doctest of $(basename "$block") with ~/verrin-env/bin/python" >&2
    (cd "$work" && "$python" -m doctest "$block") || fail "the Python session $(basename "$block") failed"
  done
fi
