# shellcheck shell=bash
# Helpers of the campaign, on top of those of the end-to-end cases: the built
# Linux program runs as root (and, where a case needs it, as an unprivileged
# account) over real directories, mounts and processes. Sourcing this file
# checks for root, makes the case's work directory W and, on every way out,
# takes down what the case made and prints its count of hung runs (RESULT
# hangs=N) and PASS, or ends with status 1.
#
# Environment: QV_BIN (the program, default build/quorvane of this tree),
# CAMP_USER (an unprivileged account to reuse; made and removed here when
# unset), QV_KEEP=1 keeps the work directories and mounts for a look.
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
QV_BIN=${QV_BIN:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/quorvane}
QV_CASE=${QV_CASE:-$(basename "$0" .sh)}
[ "$(id -u)" = 0 ] && [ -x "$QV_BIN" ] || { echo "FAIL $QV_CASE: needs root and $QV_BIN" >&2; exit 2; }

camp_exit() {
  qv_cleanup
  echo "RESULT hangs=$QV_HANGS"
  [ "$QV_FAILED" = 0 ] && echo "PASS $QV_CASE"
  exit "$QV_FAILED"
}
trap camp_exit EXIT
qv_workdir

# camp_program DIR OWNER SETTING...: a copy of the program in DIR (QV_DIR from
# now on) with its settings, and with temporary and home directories of its
# own (owned by the uid OWNER), so that no two runs share a lock file.
camp_program() {
  qv_program "$1"
  mkdir -p "$1/tmp" "$1/home" && chown "$2" "$1/tmp" "$1/home" && chmod 700 "$1/tmp" "$1/home"
  qv_cfg "${@:3}"
}

# The program runs with a clean environment.
qv_command() {
  QV_CMD=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=screen TMPDIR="$QV_DIR/tmp"
    HOME="$QV_DIR/home" "$QV_DIR/quorvane")
}

# camp_mount DIR MOUNT_ARGUMENTS...: a mount on DIR, taken down at the end.
camp_mount() {
  mkdir -p "$1" && mount "${@:2}" "$1" && QV_MOUNTS+=("$1") || qv_die "cannot set up the case"
}

# camp_bg COMMAND...: starts COMMAND in a process group of its own (its id
# in CAMP_BG); camp_end PID kills the group and waits for it.
camp_bg() {
  setsid "$@" &
  CAMP_BG=$!
}
camp_end() {
  kill -KILL -- "-$1" 2>/dev/null
  { wait "$1"; } 2>/dev/null
}

# camp_snapshot DIR: everything that tells whether DIR changed (names, types,
# owners, modes, sizes, times, inodes and contents), one line per entry.
camp_snapshot() {
  (cd "$1" && find . -printf '%p %y %U:%G %m %s %T@ %C@ %i %l\n' 2>/dev/null | sort) || true
  (cd "$1" && find . -type f -exec sha256sum {} + 2>/dev/null | sort) || true
}

# camp_age FILE...: an old, exact modification time, so that a time carried
# over (or changed) shows.
camp_age() { touch -m -d '2001-02-03 04:05:06.123456789' "$@"; }
