# Helpers for the end-to-end cases. A case sources this file, calls qv_setup,
# writes Quorvane.cfg / Quorvane.Qvr beside its copy of the program, runs it
# and checks the exit code, the transcript and the files. Any failed check
# ends the case with status 1. QV_MODE (native | wine) and QV_BIN come from
# run.sh; QV_KEEP=1 keeps the temporary directory for a look afterwards.
set -uo pipefail

QV_MODE=${QV_MODE:-native}
QV_TIMEOUT=${QV_TIMEOUT:-60}
QV_DIR=
QV_EXIT=
QV_TMUX=

qv_fail() {
  echo "FAIL: $*"
  if [ -n "$QV_DIR" ] && [ -f "$QV_DIR/out.txt" ]; then
    echo "--- output ---"
    cat "$QV_DIR/out.txt"
    echo "--- end ---"
  fi
  exit 1
}

qv_cleanup() {
  if [ -n "$QV_TMUX" ]; then
    tmux -L "$QV_TMUX" kill-server >/dev/null 2>&1
    rm -f "${TMUX_TMPDIR:-/tmp}/tmux-$(id -u)/$QV_TMUX"
  fi
  if [ -n "$QV_DIR" ] && [ "${QV_KEEP:-0}" != 1 ]; then rm -rf "$QV_DIR"; fi
}

# Makes the case's temporary directory and copies the program into it (the
# settings and the task script are looked up beside the executable).
qv_setup() {
  [ -n "${QV_BIN:-}" ] || qv_fail "QV_BIN is not set (run the cases through run.sh)"
  QV_DIR=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
  trap qv_cleanup EXIT
  if [ "$QV_MODE" = wine ]; then
    cp "$QV_BIN" "$QV_DIR/Quorvane.exe"
  else
    cp "$QV_BIN" "$QV_DIR/quorvane"
  fi
}

# The command that starts the program in the case's directory.
qv_command() {
  if [ "$QV_MODE" = wine ]; then
    echo "wine $QV_DIR/Quorvane.exe"
  else
    echo "$QV_DIR/quorvane"
  fi
}

# The path of a file of the case as the program sees it: Z:\... under Wine.
qv_path() {
  if [ "$QV_MODE" = wine ]; then
    local p="$QV_DIR/$1"
    printf 'Z:%s' "${p//\//\\}"
  else
    printf '%s/%s' "$QV_DIR" "$1"
  fi
}

# Writes a text file of the case in CP866: the lines are the arguments, or
# standard input when there are none.
qv_write_cp866() {
  local file=$1
  shift
  if [ $# -gt 0 ]; then
    printf '%s\n' "$@" | iconv -f UTF-8 -t CP866 >"$file" || qv_fail "cannot write $file in CP866"
  else
    iconv -f UTF-8 -t CP866 >"$file" || qv_fail "cannot write $file in CP866"
  fi
}
qv_cfg() { qv_write_cp866 "$QV_DIR/Quorvane.cfg" "$@"; }
qv_qvr() { qv_write_cp866 "$QV_DIR/Quorvane.Qvr" "$@"; }

# qv_file RELATIVE_PATH CONTENT: a data file (with its directories) in the case's directory.
qv_file() {
  mkdir -p "$(dirname "$QV_DIR/$1")"
  printf '%s' "$2" >"$QV_DIR/$1"
}

# Runs the program headless: standard input from /dev/null, standard output
# to out.txt (carriage returns removed), with a time-out; sets QV_EXIT.
qv_run() {
  local cmd
  cmd=$(qv_command)
  (cd "$QV_DIR" && timeout -k 10 "$QV_TIMEOUT" $cmd "$@" </dev/null >"$QV_DIR/raw.txt" 2>"$QV_DIR/err.txt")
  QV_EXIT=$?
  tr -d '\r' <"$QV_DIR/raw.txt" >"$QV_DIR/out.txt"
  [ "$QV_EXIT" -ne 124 ] && [ "$QV_EXIT" -ne 137 ] || qv_fail "no end within $QV_TIMEOUT s"
}


expect_exit() {
  [ "$QV_EXIT" = "$1" ] || qv_fail "exit code $QV_EXIT, expected $1"
}

expect_output_contains() {
  grep -qF -- "$1" "$QV_DIR/out.txt" || qv_fail "output lacks: $1"
}

expect_output_lacks() {
  if grep -qF -- "$1" "$QV_DIR/out.txt"; then qv_fail "output holds: $1"; fi
}

# The last non-empty line of the transcript.
expect_last_line() {
  local last
  last=$(grep -v '^$' "$QV_DIR/out.txt" | tail -n 1)
  [ "$last" = "$1" ] || qv_fail "last line is '$last', expected '$1'"
}

# expect_file RELATIVE_PATH [CONTENT]
expect_file() {
  [ -f "$QV_DIR/$1" ] || qv_fail "missing file $1"
  if [ $# -ge 2 ]; then
    [ "$(cat "$QV_DIR/$1")" = "$2" ] || qv_fail "file $1 holds '$(cat "$QV_DIR/$1")', expected '$2'"
  fi
}

expect_no_file() {
  [ ! -e "$QV_DIR/$1" ] || qv_fail "file $1 should not exist"
}

# Starts the program in a detached 80 x 25 tmux pane (a server of its own);
# the pane stays after the program ends, and its exit code goes to tmux-exit.
qv_tmux() {
  local cmd
  cmd=$(qv_command)
  QV_TMUX=qv-e2e-$$-$RANDOM
  TERM=${TERM:-xterm} tmux -L "$QV_TMUX" -f /dev/null new-session -d -x 80 -y 25 \
    "cd '$QV_DIR' && $cmd $*; echo \$? > '$QV_DIR/tmux-exit'; sleep 3600" ||
    qv_fail "tmux did not start"
  tmux -L "$QV_TMUX" set-option -g status off >/dev/null
}

# The screen of the pane, one line per row.
qv_screen() { tmux -L "$QV_TMUX" capture-pane -p; }

# qv_screen_wait TEXT [SECONDS]: waits until the pane shows TEXT.
qv_screen_wait() {
  local deadline=$((SECONDS + ${2:-$QV_TIMEOUT}))
  while [ $SECONDS -lt $deadline ]; do
    qv_screen | grep -qF -- "$1" && return 0
    sleep 0.2
  done
  qv_screen
  qv_fail "the screen never showed: $1"
}

# expect_row N TEXT: row N (from 1) of the pane starts with TEXT.
expect_row() {
  local row
  row=$(qv_screen | sed -n "$1p")
  case "$row" in
    "$2"*) ;;
    *) qv_screen; qv_fail "row $1 is '$row', expected it to start with '$2'" ;;
  esac
}

qv_keys() { tmux -L "$QV_TMUX" send-keys "$@"; }

# Waits for the program in the pane to end; sets QV_EXIT.
qv_tmux_wait_exit() {
  local deadline=$((SECONDS + ${1:-$QV_TIMEOUT}))
  while [ ! -s "$QV_DIR/tmux-exit" ]; do
    [ $SECONDS -lt $deadline ] || { qv_screen; qv_fail "no end within the time-out"; }
    sleep 0.2
  done
  QV_EXIT=$(cat "$QV_DIR/tmux-exit")
}

# qv_side NAME: a program directory of its own inside the case's, with a copy
# of the program; the helpers work in it from now on. Call it in a subshell
# to run several programs side by side.
qv_side() {
  local from=$QV_DIR
  QV_DIR=$from/$1
  mkdir -p "$QV_DIR"
  if [ "$QV_MODE" = wine ]; then
    cp "$from/Quorvane.exe" "$QV_DIR/"
  else
    cp "$from/quorvane" "$QV_DIR/"
  fi
}

# qv_log RELATIVE_PATH: a log file of the run as UTF-8 lines (CP866 with CR LF
# under Wine).
qv_log() {
  if [ "$QV_MODE" = wine ]; then
    iconv -f CP866 -t UTF-8 "$QV_DIR/$1" | tr -d '\r'
  else
    cat "$QV_DIR/$1"
  fi
}

# Starts the program headless in the background, its output going to
# raw.txt as it is written; sets QV_PID.
qv_start() {
  local cmd
  cmd=$(qv_command)
  (cd "$QV_DIR" && exec $cmd "$@" </dev/null >"$QV_DIR/raw.txt" 2>"$QV_DIR/err.txt") &
  QV_PID=$!
}

# qv_wait_for COMMAND...: waits until the command succeeds.
qv_wait_for() {
  local deadline=$((SECONDS + QV_TIMEOUT))
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then
      kill -KILL "$QV_PID" 2>/dev/null
      tr -d '\r' <"$QV_DIR/raw.txt" >"$QV_DIR/out.txt" 2>/dev/null
      qv_fail "waited in vain for: $*"
    fi
    sleep 0.1
  done
}

# qv_wait_end [SECONDS]: waits (QV_TIMEOUT by default) for the background run
# to end; sets QV_EXIT and writes out.txt.
qv_wait_end() {
  local limit=${1:-$QV_TIMEOUT}
  local deadline=$((SECONDS + limit))
  while kill -0 "$QV_PID" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || { kill -KILL "$QV_PID"; qv_fail "no end within $limit s"; }
    sleep 0.2
  done
  wait "$QV_PID"
  QV_EXIT=$?
  tr -d '\r' <"$QV_DIR/raw.txt" >"$QV_DIR/out.txt"
}

# qv_stop [SIGNAL]: the stop request, SIGTERM natively and SIGINT under Wine
# (it arrives as Ctrl+C) unless a signal is named; qv_wait_end waits for the end.
qv_stop() {
  local sig=${1:-}
  [ -n "$sig" ] || { [ "$QV_MODE" = wine ] && sig=INT || sig=TERM; }
  kill "-$sig" "$QV_PID"
}

# expect_stopped_whole COUNT: after a stop in the middle of sending files
# f1.bin .. fCOUNT.bin (originals kept as orig-fN), every file is whole
# wherever it is: moved into out2 with a copy in out1, or still in the input
# directory, never cut; at least one was sent, not all of them, and no file in
# flight is left. Sets QV_MOVED.
expect_stopped_whole() {
  local n count=$1
  QV_MOVED=0
  for n in $(seq 1 "$count"); do
    if [ -f "$QV_DIR/out2/f$n.bin" ]; then
      QV_MOVED=$((QV_MOVED + 1))
      cmp -s "$QV_DIR/orig-f$n" "$QV_DIR/out2/f$n.bin" || qv_fail "out2/f$n.bin is not whole"
      cmp -s "$QV_DIR/orig-f$n" "$QV_DIR/out1/f$n.bin" || qv_fail "out1/f$n.bin is not whole"
      expect_no_file "in/f$n.bin"
    else
      cmp -s "$QV_DIR/orig-f$n" "$QV_DIR/in/f$n.bin" || qv_fail "in/f$n.bin changed or vanished"
    fi
  done
  [ "$QV_MOVED" -ge 1 ] || qv_fail "the file in hand was not finished"
  [ "$QV_MOVED" -lt "$count" ] || qv_fail "the stop request did not end the run early"
  [ "$(find "$QV_DIR" -name '.~qv*' | wc -l)" = 0 ] || qv_fail "files in flight left behind"
}
