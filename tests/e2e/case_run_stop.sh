#!/usr/bin/env bash
# A stop request by signal (SIGTERM natively, SIGINT under Wine, where it
# arrives as Ctrl+C) ends the run like a key press: after the file in hand,
# exit code 0, the banner again and the farewell line; nothing half-copied.
. "$(dirname "$0")/lib.sh"

qv_setup
qv_cfg "DELAY_INTERPR 100" "DELAY_COPY 400"
qv_qvr "$(qv_path in)" "Mask: *.bin" "$(qv_path out1)" "$(qv_path out2)" "Command: DO"
mkdir -p "$QV_DIR/in"
for n in 1 2 3 4 5 6 7 8; do
  head -c $((3000000 + n)) /dev/urandom >"$QV_DIR/in/f$n.bin"
  cp "$QV_DIR/in/f$n.bin" "$QV_DIR/orig-f$n"
done

qv_start
deadline=$((SECONDS + QV_TIMEOUT))
until grep -q ' \*=> ' "$QV_DIR/raw.txt" 2>/dev/null; do
  [ $SECONDS -lt $deadline ] || { kill -KILL $QV_PID; qv_fail "no transfer began"; }
  sleep 0.1
done
qv_stop
qv_wait_end

expect_exit 0
expect_output_contains "Exit on pressing a key."
expect_last_line "Good Luck! Good-By :─) !"
exit_at=$(grep -n 'Exit on pressing a key.' "$QV_DIR/out.txt" | head -n 1 | cut -d: -f1)
farewell_at=$(grep -n 'Good Luck!' "$QV_DIR/out.txt" | tail -n 1 | cut -d: -f1)
[ $((farewell_at - exit_at)) -gt 5 ] || qv_fail "no banner between the exit message and the farewell"

expect_stopped_whole 8
echo "case_run_stop: all checks passed ($QV_MOVED of 8 files sent before the stop)"
