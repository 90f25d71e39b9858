# shellcheck shell=bash
# Helpers for the real-file cases and the campaign. They run the built Linux
# program as root (and, where a case needs it, as an unprivileged account) over
# real directories, mounts and processes, so every script that sources this
# file must run as root. Everything a script makes (work directories, mounts,
# background processes, accounts) is registered here and taken down on every
# way out, in reverse order.
#
# Environment: QV_BIN (the program, default build/quorvane of this tree),
# CAMP_USER (an unprivileged account to reuse; made and removed here when
# unset), CAMP_KEEP=1 keeps the work directories and mounts for a look
# afterwards.
set -uo pipefail

CAMP_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
CAMP_TREE=$(cd "$CAMP_LIB_DIR/../.." && pwd)
QV_BIN=${QV_BIN:-$CAMP_TREE/build/quorvane}
CAMP_CASE=${CAMP_CASE:-$(basename "$0" .sh)}

CAMP_PIDS=()    # background process groups started here and not yet reaped
CAMP_MOUNTS=()  # mount points, unmounted last first
CAMP_DIRS=()    # work directories, removed after the mounts are gone
CAMP_MADE_USER= # the account made here, removed at the end
CAMP_TMUX=      # the tmux server of a case that watches the screen
CAMP_FAILED=0
CAMP_HANGS=0    # runs of the program that reached their bound
CAMP_UID=
CAMP_GID=
CAMP_AS_USER=()

camp_cleanup() {
  local pid i
  if [ -n "$CAMP_TMUX" ]; then
    # The pane's shell leads a process group of its own, the program in it.
    pid=$(tmux -L "$CAMP_TMUX" list-panes -F '#{pane_pid}' 2>/dev/null)
    [ -z "$pid" ] || kill -KILL -- "-$pid" 2>/dev/null
    tmux -L "$CAMP_TMUX" kill-server >/dev/null 2>&1
  fi
  for pid in "${CAMP_PIDS[@]}"; do kill -KILL -- "-$pid" 2>/dev/null; done
  for pid in "${CAMP_PIDS[@]}"; do { wait "$pid"; } 2>/dev/null; done
  if [ "${CAMP_KEEP:-0}" = 1 ]; then
    for i in "${CAMP_DIRS[@]}" "${CAMP_MOUNTS[@]}"; do echo "kept (unmount and remove by hand): $i"; done
  else
    for ((i = ${#CAMP_MOUNTS[@]} - 1; i >= 0; i--)); do
      umount "${CAMP_MOUNTS[i]}" 2>/dev/null || umount -l "${CAMP_MOUNTS[i]}" 2>/dev/null
    done
    for i in "${CAMP_DIRS[@]}"; do rm -rf --one-file-system "$i"; done
  fi
  [ -z "$CAMP_MADE_USER" ] || userdel "$CAMP_MADE_USER" 2>/dev/null
}
trap camp_cleanup EXIT
trap 'exit 130' INT TERM HUP

# camp_fail TEXT: notes a failed check of the case and goes on.
camp_fail() {
  echo "FAIL $CAMP_CASE: $*"
  CAMP_FAILED=1
}

# camp_finish: the case's count of hung runs, its verdict line and exit status.
camp_finish() {
  echo "RESULT hangs=$CAMP_HANGS"
  if [ "$CAMP_FAILED" = 0 ]; then
    echo "PASS $CAMP_CASE${1:+: $1}"
    exit 0
  fi
  exit 1
}

camp_need_root() {
  [ "$(id -u)" = 0 ] || { echo "FAIL $CAMP_CASE: must run as root" >&2; exit 2; }
  [ -x "$QV_BIN" ] || { echo "FAIL $CAMP_CASE: no program at $QV_BIN" >&2; exit 2; }
}

# camp_workdir: a fresh work directory (searchable by every account) in W.
camp_workdir() {
  W=$(mktemp -d "${TMPDIR:-/tmp}/qvc-$CAMP_CASE.XXXXXX") || exit 2
  chmod 755 "$W"
  CAMP_DIRS+=("$W")
}

# camp_user: the unprivileged account (CAMP_USER, or one made here) whose
# side of a case runs through "${CAMP_AS_USER[@]}" (no capabilities).
camp_user() {
  local name=${CAMP_USER:-}
  if [ -z "$name" ]; then
    name=qvc$$
    useradd -M -N -d /nonexistent -s /usr/sbin/nologin "$name" || exit 2
    CAMP_MADE_USER=$name
  fi
  CAMP_UID=$(id -u "$name") && CAMP_GID=$(id -g "$name") || exit 2
  CAMP_AS_USER=(setpriv --reuid="$CAMP_UID" --regid="$CAMP_GID" --clear-groups
    --inh-caps=-all --)
}

# camp_tmpfs DIR SIZE: a tmpfs of SIZE (as mount takes it) on DIR.
camp_tmpfs() {
  mkdir -p "$1"
  mount -t tmpfs -o "size=$2,mode=0755" tmpfs "$1" || { echo "cannot mount a tmpfs" >&2; exit 2; }
  CAMP_MOUNTS+=("$1")
}

# camp_bind_ro FROM TO: TO shows FROM read-only.
camp_bind_ro() {
  mkdir -p "$2"
  mount --bind "$1" "$2" || exit 2
  CAMP_MOUNTS+=("$2")
  mount -o remount,bind,ro "$2" || exit 2
}

# camp_bg COMMAND...: starts COMMAND in a process group of its own; its id
# is in CAMP_BG and is killed (the whole group) at the end at the latest.
camp_bg() {
  setsid "$@" &
  CAMP_BG=$!
  CAMP_PIDS+=("$CAMP_BG")
}

# camp_reap PID: waits for a process started here (its status in
# CAMP_STATUS) and forgets it, so that its id is never signalled again.
camp_reap() {
  { wait "$1"; } 2>/dev/null
  CAMP_STATUS=$?
  local kept=() pid
  for pid in "${CAMP_PIDS[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
  CAMP_PIDS=("${kept[@]}")
}

# camp_stop PID: ends a group started by camp_bg and reaps it.
camp_stop() {
  kill -KILL -- "-$1" 2>/dev/null
  camp_reap "$1"
}

# camp_wait_for SECONDS COMMAND...: polls COMMAND until it succeeds; false
# when it never did within SECONDS.
camp_wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# --- the program ---

# camp_program DIR [OWNER]: a copy of the program in DIR, with its own
# temporary and home directories (owned by OWNER, default root), so that no
# two runs share a lock file unless a case wants it.
camp_program() {
  local dir=$1 owner=${2:-0}
  mkdir -p "$dir/tmp" "$dir/home"
  cp "$QV_BIN" "$dir/quorvane"
  chmod 755 "$dir" "$dir/quorvane"
  chown "$owner" "$dir/tmp" "$dir/home"
  chmod 700 "$dir/tmp" "$dir/home"
}

# camp_write_cp866 FILE LINES...: a text file of the program in CP866.
camp_write_cp866() {
  local file=$1
  shift
  printf '%s\n' "$@" | iconv -f UTF-8 -t CP866 >"$file" || { echo "cannot write $file" >&2; exit 2; }
  chmod 644 "$file"
}
camp_cfg() { camp_write_cp866 "$1/Quorvane.cfg" "${@:2}"; }
camp_qvr() { camp_write_cp866 "$1/Quorvane.Qvr" "${@:2}"; }

# camp_command DIR: the command line (in CAMP_CMD) that starts the program of
# DIR headless with a clean environment; prefix it (setpriv, strace) as needed.
camp_command() {
  local dir=$1
  CAMP_CMD=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TMPDIR="$dir/tmp"
    HOME="$dir/home" "$dir/quorvane")
}

# camp_run DIR SECONDS [PREFIX...]: runs the program of DIR to its end, with
# PREFIX before it, bounded by SECONDS. Transcript in DIR/out.txt; sets
# CAMP_EXIT and CAMP_HUNG (1 when the bound was reached).
camp_run() {
  camp_run_bg "$@"
  camp_run_wait "$1" "$CAMP_RUN_PID"
}

# camp_run_bg DIR SECONDS [PREFIX...]: camp_run in the background; the
# process id is in CAMP_RUN_PID; finish with camp_run_wait.
declare -A CAMP_RUN_BOUND CAMP_RUN_START
camp_run_bg() {
  local dir=$1 bound=$2
  shift 2
  camp_command "$dir"
  CAMP_RUN_BOUND[$dir]=$bound
  CAMP_RUN_START[$dir]=$SECONDS
  (cd "$dir" && exec timeout -k 5 "$bound" "$@" "${CAMP_CMD[@]}" \
    </dev/null >"$dir/out.txt" 2>"$dir/err.txt") &
  CAMP_RUN_PID=$!
  CAMP_PIDS+=("$CAMP_RUN_PID")
}

# camp_run_wait DIR PID: waits for a run started by camp_run_bg.
camp_run_wait() {
  camp_reap "$2"
  CAMP_EXIT=$CAMP_STATUS
  CAMP_HUNG=0
  if [ $((SECONDS - CAMP_RUN_START[$1])) -ge "${CAMP_RUN_BOUND[$1]}" ]; then
    CAMP_HUNG=1
    CAMP_HANGS=$((CAMP_HANGS + 1))
  fi
}

# camp_stop_run PID: a stop request (as a key press ends a run) to a run
# started by camp_run_bg; timeout hands SIGTERM on to the program.
camp_stop_run() { kill -TERM "$1" 2>/dev/null; }

# camp_transcript_has DIR TEXT: the transcript holds TEXT.
camp_transcript_has() { grep -qF -- "$2" "$1/out.txt" 2>/dev/null; }

# camp_tmux DIR: starts the program of DIR in a detached 80 x 25 tmux pane
# of a server of its own; its exit code goes to DIR/tmux-exit.
camp_tmux() {
  local dir=$1 cmd
  camp_command "$dir"
  printf -v cmd '%q ' "${CAMP_CMD[@]:0:2}" TERM=screen "${CAMP_CMD[@]:2}"
  CAMP_TMUX=qvc-$$-$RANDOM
  tmux -L "$CAMP_TMUX" -f /dev/null new-session -d -x 80 -y 25 \
    "cd $(printf %q "$dir") && $cmd; echo \$? >tmux-exit; sleep 3600" || exit 2
  tmux -L "$CAMP_TMUX" set-option -g status off >/dev/null
}
camp_screen() { tmux -L "$CAMP_TMUX" capture-pane -p; }
camp_screen_has() { camp_screen | grep -qF -- "$1"; }
camp_keys() { tmux -L "$CAMP_TMUX" send-keys "$@"; }

# --- files ---

camp_sha() { sha256sum <"$1" | cut -c1-64; }

# camp_regular_files DIR: the regular files below DIR that are not in flight
# (no path component starting with .~qv), one relative path a line.
camp_regular_files() {
  (cd "$1" && find . -type f ! -path '*/.~qv*' -printf '%P\n' 2>/dev/null)
}

# camp_snapshot DIR: everything that tells whether DIR changed (names, types,
# owners, modes, sizes, times, inodes and contents), one line per entry.
camp_snapshot() {
  (cd "$1" && find . -printf '%p %y %U:%G %m %s %T@ %C@ %i %l\n' 2>/dev/null | sort) || true
  (cd "$1" && find . -type f -exec sha256sum {} + 2>/dev/null | sort) || true
}

# camp_age FILE...: gives files an old, exact modification time, so that a
# time carried over (or changed) shows.
camp_age() { touch -m -d '2001-02-03 04:05:06.123456789' "$@"; }
