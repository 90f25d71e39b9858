#!/usr/bin/env bash
# How whole runs end: after the run time with its exit code, and the program
# run after each pass, at every pass or only after passes that moved a file.
. "$(dirname "$0")/lib.sh"

# --- the run-time limit decides when the cycle limit is far away
qv_setup
qv_cfg "DELAY_INTERPR 300" "DELAY_COPY 10" "NUMBER_TIME_WORK 2" "CODE_RETURN_TIME 23" \
  "VALID_CYCLE_FULL_RUN 100000" "CODE_RETURN_CYCLE 5"
qv_qvr "$(qv_path in)" "Mask: *.*" "$(qv_path out)" "Command: DO"
qv_file in/t.txt "timed"
qv_run
expect_exit 23
expect_file out/t.txt "timed"
expect_output_contains "Exit on time work of the program without bat-file 2."
expect_output_lacks "Exit by amount cycles"
expect_last_line "Good Luck! Good-By :─) !"
qv_cleanup

# --- the program after each pass: every pass, or only after a transfer
# Writes the program that notes each of its runs in ran.txt.
write_marker_program() {
  if [ "$QV_MODE" = wine ]; then
    printf '@echo ran>>"%s"\r\n' "$(qv_path ran.txt)" >"$QV_DIR/mark.bat"
    echo "$(qv_path mark.bat)"
  else
    printf '#!/bin/sh\necho ran >>"%s"\n' "$QV_DIR/ran.txt" >"$QV_DIR/mark.sh"
    chmod +x "$QV_DIR/mark.sh"
    echo "$QV_DIR/mark.sh"
  fi
}

for smart in No Yes; do
  QV_DIR=
  qv_setup
  [ "$QV_MODE" = wine ] || unset COMSPEC
  program=$(write_marker_program)
  qv_cfg "DELAY_INTERPR 20" "DELAY_COPY 10" "VALID_CYCLE_FULL_RUN 3" "CODE_RETURN_CYCLE 4" \
    "RUN_BATNIK Yes" "USE_SMART_RUN $smart" "VALID_EXIST_BAT Yes" "DELAY_BAT 0" \
    "NAME_BATNIK \"$program\""
  qv_qvr "$(qv_path in)" "Mask: *.*" "$(qv_path out)" "Command: DO"
  qv_file in/once.txt "only in the first pass"
  qv_run
  expect_exit 4
  expect_file out/once.txt "only in the first pass"
  runs=$(grep -c ran "$QV_DIR/ran.txt" 2>/dev/null)
  if [ $smart = No ]; then want=3; else want=1; fi
  [ "${runs:-0}" = $want ] || qv_fail "USE_SMART_RUN $smart: program ran ${runs:-0} times, expected $want"
  expect_output_contains "Run $program"
  expect_last_line "Good Luck! Good-By :─) !"
  qv_cleanup
done
echo "case_run_limits: all checks passed"
