# shellcheck shell=bash
# Helpers of the end-to-end cases and of the campaign: a copy of the program in
# a directory of its own (QV_DIR), its settings and task script, runs headless
# or in an 80 x 25 tmux pane, and the checks. A failed check is reported and
# the case goes on (qv_die ends it); every process, mount, directory and
# account made is taken down on every way out. QV_MODE (native | wine) and
# QV_BIN come from the caller; QV_KEEP=1 keeps the directories for a look.
set -uo pipefail

QV_MODE=${QV_MODE:-native} QV_TIMEOUT=${QV_TIMEOUT:-60} QV_FAILED=0 QV_HANGS=0
QV_MOUNTS=() QV_DIRS=() QV_USERS=()

farewell="Good Luck! Good-By :─) !"
# The separator of the paths the program joins itself.
[ "$QV_MODE" = native ] && sep=/ || sep='\'


qv_cleanup() {
  local x
  if [ -n "${QV_PANE:-}" ]; then
    # The pane's shell leads a process group of its own, the program in it.
    kill -KILL -- "-$(tmux -L "$QV_PANE" list-panes -F '#{pane_pid}' 2>/dev/null)" 2>/dev/null
    tmux -L "$QV_PANE" kill-server 2>/dev/null
  fi
  # Background processes not yet waited for (so their ids were never reused).
  for x in $(jobs -p); do kill -KILL -- "-$x" "$x" 2>/dev/null; done
  wait 2>/dev/null
  [ "${QV_KEEP:-0}" = 1 ] && return
  for ((x = ${#QV_MOUNTS[@]} - 1; x >= 0; x--)); do umount -l "${QV_MOUNTS[x]}"; done
  for x in "${QV_DIRS[@]}"; do rm -rf --one-file-system "$x"; done
  for x in "${QV_USERS[@]}"; do userdel "$x"; done
}
trap qv_cleanup EXIT
trap 'QV_FAILED=1 && exit 130' INT TERM HUP

qv_fail() { echo "FAIL${QV_CASE:+ $QV_CASE}: $*" && QV_FAILED=1; }
qv_die() { qv_fail "$@" && exit 1; }

# qv_workdir: a fresh directory, searchable by every account, in W.
qv_workdir() {
  W=$(mktemp -d "${TMPDIR:-/tmp}/qv-${QV_CASE:-case}.XXXXXX") && chmod 755 "$W" || qv_die "cannot set up the case"
  QV_DIRS+=("$W")
}

# qv_user: an account of its own, run through "${QV_AS_USER[@]}" without
# capabilities; its ids in QV_UID and QV_GID.
qv_user() {
  QV_UID=$(id -u "${CAMP_USER:-nobody}") && QV_GID=$(id -g "${CAMP_USER:-nobody}") || qv_die "cannot set up the case"
  QV_AS_USER=(setpriv --reuid="$QV_UID" --regid="$QV_GID" --clear-groups --inh-caps=-all --)
}

# qv_program DIR: a copy of the program in DIR, which becomes QV_DIR.
qv_program() { QV_DIR=$1 && qv_command && install -D -m 755 "$QV_BIN" "${QV_CMD[-1]}"; }

# The command line that starts the program of QV_DIR, in QV_CMD.
qv_command() {
  if [ "$QV_MODE" = native ]; then QV_CMD=("$QV_DIR/quorvane"); else QV_CMD=(wine "$QV_DIR/Quorvane.exe"); fi
}

# qv_path [RELATIVE_PATH]: a path of QV_DIR as the program sees it (Z:\... under Wine).
qv_path() {
  local p=$QV_DIR${1:+/$1}
  if [ "$QV_MODE" = wine ]; then printf 'Z:%s' "${p//\//\\}"; else printf %s "$p"; fi
}

# qv_write FILE LINES...: a text file of the program in CP866, or as UTF-8
# with CR LF when QV_UTF8 is 1 (as an editor of this system writes it).
qv_write() {
  if [ "${QV_UTF8:-0}" = 1 ]; then printf '%s\r\n' "${@:2}" >"$1"; else
    printf '%s\n' "${@:2}" | iconv -f UTF-8 -t CP866 >"$1" || qv_die "cannot write $1 in CP866"
  fi
}
qv_cfg() { qv_write "$QV_DIR/Quorvane.cfg" "$@"; }
qv_qvr() { qv_write "$QV_DIR/Quorvane.Qvr" "$@"; }

# qv_file RELATIVE_PATH CONTENT...: data files (with their directories) in QV_DIR.
qv_file() {
  while [ $# -ge 2 ]; do
    mkdir -p "$(dirname "$QV_DIR/$1")" && printf %s "$2" >"$QV_DIR/$1"
    shift 2
  done
}

# qv_start [PREFIX...]: starts the program headless in the background, with
# PREFIX (setpriv, strace) before it and bounded by QV_TIMEOUT; its output
# goes to raw.txt as it is written; the process in QV_PID. It starts in
# QV_CWD if that is set, else in QV_DIR; its standard input is the file
# QV_STDIN if that is set, else empty.
qv_start() {
  qv_command
  (cd "${QV_CWD:-$QV_DIR}" && exec timeout -s KILL "$QV_TIMEOUT" "$@" "${QV_CMD[@]}" \
    <"${QV_STDIN:-/dev/null}" >"$QV_DIR/raw.txt" 2>"$QV_DIR/err.txt") &
  QV_PID=$! QV_STARTED=$SECONDS QV_BOUND=$QV_TIMEOUT
}

# qv_wait_end [DIR PID]: waits for a run qv_start began; sets QV_EXIT,
# QV_HUNG (1 when it reached its bound) and the transcript out.txt.
qv_wait_end() {
  local dir=${1:-$QV_DIR}
  wait "${2:-$QV_PID}"
  QV_EXIT=$? QV_HUNG=0
  [ $((SECONDS - QV_STARTED)) -lt "$QV_BOUND" ] || QV_HUNG=1 QV_HANGS=$((QV_HANGS + 1))
  tr -d '\r' <"$dir/raw.txt" >"$dir/out.txt"
}

# qv_run [PREFIX...]: runs the program headless to its end.
qv_run() {
  qv_start "$@" && qv_wait_end
  [ "$QV_HUNG" = 0 ] || qv_fail "no end within $QV_TIMEOUT s"
}

# qv_stop: the stop request, SIGTERM natively and SIGINT under Wine
# (it arrives as Ctrl+C); timeout hands it on to the program.
qv_stop() { kill "-$([ "$QV_MODE" = native ] && echo TERM || echo INT)" "$QV_PID"; }

# qv_wait_for SECONDS COMMAND...: polls COMMAND until it succeeds; false when
# it never did within SECONDS.
qv_wait_for() {
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# qv_says TEXT: the transcript written so far holds TEXT.
qv_says() { tr -d '\r' <"$QV_DIR/raw.txt" 2>/dev/null | grep -qF -- "$1"; }

# expect_run CODE TEXT...: the run ended with CODE and its transcript holds
# every TEXT, but those written !TEXT, which it must not hold, ^TEXT, its last
# line that is not empty, and N*REGEX, which exactly N of its lines match;
# @PATH=CONTENT, @PATH and @!PATH say that QV_DIR holds a file PATH with that
# content, a file PATH, no entry PATH at all.
expect_run() {
  [ "$QV_EXIT" = "$1" ] || qv_fail "exit code $QV_EXIT, expected $1"
  local t f
  for t in "${@:2}"; do
    case $t in
      !*) ! grep -qF -- "${t#!}" "$QV_DIR/out.txt" || qv_fail "the output holds: ${t#!}" ;;
      ^*) [ "$(grep -v '^$' "$QV_DIR/out.txt" | tail -n 1)" = "${t#^}" ] || qv_fail "the last line is not ${t#^}" ;;
      [0-9]\**) [ "$(grep -cE -- "${t#*\*}" "$QV_DIR/out.txt")" = "${t%%\**}" ] || qv_fail "not ${t%%\**} times: ${t#*\*}" ;;
      @!*) [ ! -e "$QV_DIR/${t#@!}" ] || qv_fail "${t#@!} should not exist" ;;
      @*=*) f=${t#@} && [ "$(tr -d '\r' <"$QV_DIR/${f%%=*}" 2>/dev/null)" = "${t#*=}" ] || qv_fail "$t does not hold" ;;
      @*) [ -f "$QV_DIR/${t#@}" ] || qv_fail "missing file ${t#@}" ;;
      *) grep -qF -- "$t" "$QV_DIR/out.txt" || qv_fail "the output lacks: $t" ;;
    esac
  done
}

# qv_tmux: starts the program in a detached 80 x 25 tmux pane (a server of
# its own); its exit code goes to tmux-exit.
qv_tmux() {
  qv_command
  QV_PANE=qv-$$-$RANDOM
  TERM=${TERM:-xterm} tmux -L "$QV_PANE" -f /dev/null new-session -d -x 80 -y 25 \
    "cd $(printf %q "$QV_DIR") && $(printf '%q ' "${QV_CMD[@]}"); echo \$? >tmux-exit; sleep 3600" \; \
    set-option -g status off >/dev/null || qv_die "tmux did not start"
}
qv_screen() { tmux -L "$QV_PANE" capture-pane -p "$@"; }
qv_row() { qv_screen | sed -n "$1p"; }
qv_keys() { tmux -L "$QV_PANE" send-keys "$@"; }
qv_shows() { qv_screen | grep -qF -- "$1"; }

# qv_screen_wait TEXT [SECONDS]: waits until the pane shows TEXT.
qv_screen_wait() {
  qv_wait_for "${2:-$QV_TIMEOUT}" qv_shows "$1" || { qv_screen; qv_die "the screen never showed: $1"; }
}

# qv_tmux_wait_exit: waits for the program in the pane to end; sets QV_EXIT.
qv_tmux_wait_exit() {
  qv_wait_for "$QV_TIMEOUT" test -s "$QV_DIR/tmux-exit" || { qv_screen; qv_die "no end in the pane"; }
  QV_EXIT=$(cat "$QV_DIR/tmux-exit")
}

# qv_log RELATIVE_PATH: a log file of the run as UTF-8 lines.
qv_log() {
  if [ "$QV_MODE" = wine ]; then iconv -f CP866 -t UTF-8 "$QV_DIR/$1" | tr -d '\r'; else cat "$QV_DIR/$1"; fi
}

qv_sha() { sha256sum <"$1" | cut -c1-64; }
