# shellcheck shell=bash
# Debian package check shared by the build and test scripts; source it:
#   . "$(dirname "$0")/lib/packages.sh"
#
# require_packages [OPTION...] -- PACKAGE...
#   Finds which of the Debian packages (NAME or NAME:ARCH) are not installed
#   and leaves them in the array `missing_packages`. As root it installs them
#   (apt-get update, then apt-get install, after adding the i386 architecture
#   when a NAME:i386 asks for it); otherwise it installs nothing.
#   Options (TEXT is printed on standard error, with %s replaced by the
#   missing packages; nothing is printed when an option is not given):
#     --installing TEXT  printed as root before installing
#     --not-root TEXT    printed when not root and packages are missing
#     --no-recommends    installs without the packages' recommendations
#     --progress         as root, names "apt-get update" and then each
#                        package as apt sets it up, so that a long install
#                        is not silent
#   Returns 0 when nothing is missing or everything was installed, 1 when
#   apt-get install failed (a failing update is tried three times, then passed
#   over), 2 when packages are missing and this is not root. The
#   caller decides what 1 and 2 mean: go on, skip or fail.

require_packages() {
  # Another apt (a peer script, unattended upgrades) may hold the lock: wait.
  local installing='' not_root='' progress=0 apt_options=(-o DPkg::Lock::Timeout=600)
  while [ $# -gt 0 ]; do
    case "$1" in
      --installing) installing=$2 && shift 2 ;;
      --not-root) not_root=$2 && shift 2 ;;
      --progress) progress=1 && shift ;;
      --no-recommends) apt_options+=(--no-install-recommends) && shift ;;
      --) shift && break ;;
      *) echo "require_packages: unknown option $1" >&2 && return 1 ;;
    esac
  done
  missing_packages=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
      missing_packages+=("$p")
  done
  [ ${#missing_packages[@]} -gt 0 ] || return 0
  if [ "$(id -u)" != 0 ]; then
    # shellcheck disable=SC2059  # the caller's message is the format
    [ -z "$not_root" ] || printf "$not_root\n" "${missing_packages[*]}" >&2
    return 2
  fi
  # shellcheck disable=SC2059
  [ -z "$installing" ] || printf "$installing\n" "${missing_packages[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  case " ${missing_packages[*]}" in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ||
        return 1
      ;;
  esac
  [ $progress = 0 ] || echo "  apt-get update" >&2
  # A mirror caught mid-sync fails an index now and then; try again, and if
  # it still fails let the install decide (the other indexes may hold all
  # that is needed).
  local attempt
  for attempt in 1 2 3; do
    apt-get update -qq && break
    if [ $attempt = 3 ]; then
      echo "  apt-get update failed three times; installing from the indexes it has" >&2
    else
      sleep $((attempt * 10))
    fi
  done
  if [ $progress = 1 ]; then
    # (sed reads to the end, so apt-get's status is the pipe's.)
    apt-get install -y -q "${apt_options[@]}" "${missing_packages[@]}" |
      sed -n 's/^Setting up \([^ ]*\).*/  set up \1/p' >&2
    [ "${PIPESTATUS[0]}" = 0 ] || return 1
    return 0
  fi
  apt-get install -y -qq "${apt_options[@]}" "${missing_packages[@]}" >/dev/null || return 1
}

# packages_failed NAME STATUS
#   For an extra build after require_packages returned STATUS: 1 (apt could
#   not install them: an archive mid-sync, no network) is not a failure of
#   the code, so it says so and exits with 77, which CI reports as skipped;
#   anything else exits with 1.
packages_failed() {
  if [ "$2" = 1 ]; then
    echo "$1: the packages could not be installed; skipped (status 77)" >&2
    exit 77
  fi
  exit 1
}
