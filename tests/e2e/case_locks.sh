#!/usr/bin/env bash
# The named locks of the drawing threads cannot freeze a run: another user can
# neither plant nor hold them, and a lock held by a process of the same account
# holds up neither the run-time limit nor a stop request. POSIX only (the
# Windows build keeps session-local named mutexes, checked by its unit tests).
. "$(dirname "$0")/lib.sh"

if [ "$QV_MODE" = wine ]; then
  echo "case_locks: POSIX lock files only, nothing to check under Wine"
  exit 0
fi
QV_TIMEOUT=40
holders=()
end_holders() {
  local pid
  for pid in "${holders[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${holders[@]}"; do wait "$pid" 2>/dev/null; done
  holders=()
}

# hold_lock FILE [USER]: a process holds flock on FILE until end_holders
# (the holder is the process itself, so that ending it releases the lock).
hold_lock() {
  local file=$1 as=(${2:+setpriv --reuid="$2" --regid="$2" --clear-groups})
  "${as[@]}" bash -c 'exec 9>>"$1" && flock 9 && exec sleep 600' _ "$file" &
  holders+=($!)
  local deadline=$((SECONDS + 10))
  until [ -e "$file" ] && ! flock -n "$file" true 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || qv_fail "the lock on $file was never taken"
    sleep 0.1
  done
}

# A run that ends by its run-time limit while whatever holds the locks holds them.
expect_timed_end() {
  qv_cfg "DELAY_INTERPR 100" "DELAY_COPY 10" "NUMBER_TIME_WORK 2" "CODE_RETURN_TIME 23" \
    "VALID_CYCLE_FULL_RUN 0"
  qv_qvr "$(qv_path in)" "Mask: *.*" "$(qv_path out)" "Command: DO"
  qv_file in/t.txt "timed"
  qv_run
  expect_exit 23
  expect_file out/t.txt "timed"
}

attacker=qv-lock-intruder
made_user=0
qv_setup
trap 'end_holders; qv_cleanup; [ "$made_user" = 0 ] || userdel "$attacker" 2>/dev/null' EXIT
chmod 755 "$QV_DIR"
export TMPDIR=$QV_DIR/tmp  # a shared temporary directory, as /tmp is
mkdir -m 1777 "$TMPDIR"
unset XDG_RUNTIME_DIR
me=$(id -u)
own=$TMPDIR/quorvane-$me

# --- another user plants and holds every lock file the program might look for
if [ "$me" -eq 0 ]; then
  if ! id "$attacker" >/dev/null 2>&1; then
    useradd -M -s /usr/sbin/nologin "$attacker" || qv_fail "cannot create the user $attacker"
    made_user=1
  fi
  setpriv --reuid="$attacker" --regid="$attacker" --clear-groups mkdir -m 777 "$own"
  for name in Time_Unic Hint; do
    hold_lock "$TMPDIR/quorvane-$name.lock" "$attacker"
    hold_lock "$own/quorvane-$name.lock" "$attacker"
  done
  expect_timed_end
  end_holders
  rm -rf "$own" "$QV_DIR/out"

  # The program makes its own directory: no other user may enter it.
  expect_timed_end
  [ "$(stat -c '%u %a %F' "$own")" = "$me 700 directory" ] ||
    qv_fail "lock directory is $(stat -c '%u %a %F' "$own")"
  for name in Time_Unic Hint; do
    [ -f "$own/quorvane-$name.lock" ] || qv_fail "no lock file $name in $own"
    if setpriv --reuid="$attacker" --regid="$attacker" --clear-groups \
      flock -n "$own/quorvane-$name.lock" true 2>/dev/null; then
      qv_fail "another user took the lock $name"
    fi
  done
  if setpriv --reuid="$attacker" --regid="$attacker" --clear-groups \
    touch "$own/quorvane-Planted.lock" 2>/dev/null; then
    qv_fail "another user created a file in the lock directory"
  fi
  rm -rf "$QV_DIR/out"
fi

# --- a process of the same account holds both locks for good
mkdir -p -m 700 "$own"
for name in Time_Unic Hint; do hold_lock "$own/quorvane-$name.lock"; done
expect_timed_end

# A stop request ends the run even so.
qv_cfg "DELAY_INTERPR 100" "DELAY_COPY 10" "NUMBER_TIME_WORK 0" "VALID_CYCLE_FULL_RUN 0"
qv_file in/u.txt "stopped"
qv_start
deadline=$((SECONDS + QV_TIMEOUT))
until [ -f "$QV_DIR/out/u.txt" ]; do
  [ $SECONDS -lt $deadline ] || { kill -KILL $QV_PID; qv_fail "no transfer while the locks are held"; }
  sleep 0.1
done
qv_stop TERM
qv_wait_end 15  # the 3.3 s wait for the threads and the 0.9 s farewell pause
expect_exit 0
expect_output_contains "Exit on pressing a key."
echo "case_locks: all checks passed"
