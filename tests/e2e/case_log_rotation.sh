#!/usr/bin/env bash
# The log is opened for every line: moved away mid-run (as a rotation does),
# it starts anew under its name and keeps growing there, while the moved
# file keeps what came before. A log that cannot be written is reported
# once on the screen and the files still move. Two runs side by side.
. "$(dirname "$0")/lib.sh"
qv_setup

rotated() {
  qv_side rotated
  qv_cfg "LOG_EXIST Yes" "LOG_NAME <PROGRAMM_PATH>/run.log" "DELAY_INTERPR 200" "DELAY_COPY 0"
  qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
  qv_file in/a.txt "alpha"
  qv_start
  qv_wait_for grep -q "a.txt O=> " "$QV_DIR/run.log"
  mv "$QV_DIR/run.log" "$QV_DIR/run.log.1"
  qv_file in/b.txt "beta"
  qv_wait_for grep -q "b.txt O=> " "$QV_DIR/run.log"
  qv_stop
  qv_wait_end
  expect_exit 0
  expect_file out/b.txt "beta"
  local before after
  before=$(qv_log run.log.1)
  after=$(qv_log run.log)
  [[ $before == *"Start of the run"*"a.txt O=> "* ]] || qv_fail "the moved log lost its lines: $before"
  [[ $before != *"b.txt"* ]] || qv_fail "the moved log kept growing: $before"
  [[ $after == *"b.txt O=> "*"Exit on pressing a key."*"End of the run, exit code 0" ]] ||
    qv_fail "the new log lacks the later lines: $after"
  [[ $after != *"Start of the run"* ]] || qv_fail "the new log holds the first line: $after"
}

unwritable() {
  qv_side unwritable
  qv_cfg "LOG_EXIST Yes" "LOG_NAME <PROGRAMM_PATH>/no/such/dir/run.log" "DELAY_INTERPR 0" \
    "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 4"
  qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
  qv_file in/a.txt "alpha"
  qv_file in/b.txt "beta"
  qv_file in/c.txt "gamma"
  qv_run
  expect_exit 4
  for f in a b c; do expect_file "out/$f.txt"; done
  local reports
  reports=$(grep -c "^Can not write the log file .*run.log$" "$QV_DIR/out.txt")
  [ "$reports" = 1 ] || qv_fail "the unwritable log was reported $reports times"
  [ "$(grep -c ' O=> ' "$QV_DIR/out.txt")" = 3 ] || qv_fail "not every move was reported"
}

(rotated) &
first=$!
(unwritable) &
second=$!
failed=0
wait $first || failed=1
wait $second || failed=1
[ $failed = 0 ] || qv_fail "a run failed its checks"
echo ok
