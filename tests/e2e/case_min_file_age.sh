#!/usr/bin/env bash
# MIN_FILE_AGE 5: a file appended to every second is left alone, without a
# report, as long as it grows, and is taken whole once it has rested.
. "$(dirname "$0")/lib.sh"
qv_setup
qv_cfg "MIN_FILE_AGE 5" "DELAY_INTERPR 300" "DELAY_COPY 0"
qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
qv_file in/grow.txt "start"$'\n'
expected="start"$'\n'

qv_start
for i in 1 2 3 4 5 6 7; do
  sleep 1
  printf 'line %d\n' "$i" >>"$QV_DIR/in/grow.txt"
  expected+="line $i"$'\n'
  [ ! -e "$QV_DIR/out/grow.txt" ] || { kill -KILL "$QV_PID"; qv_fail "taken while growing"; }
done
qv_wait_for test -f "$QV_DIR/out/grow.txt"
qv_stop
qv_wait_end
expect_exit 0
[ "$(cat "$QV_DIR/out/grow.txt"; echo .)" = "$expected." ] || qv_fail "the file was not taken whole"
expect_no_file in/grow.txt
[ "$(grep -c 'grow.txt' "$QV_DIR/out.txt")" = 1 ] || qv_fail "a report while it rested"
echo ok
