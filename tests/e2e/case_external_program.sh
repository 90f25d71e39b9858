#!/usr/bin/env bash
# The end-of-cycle program: the default NAME_BATNIK, <PROGRAMM_PATH>\Quorvane.bat,
# runs on every platform (on POSIX by its path with '/'); a program that
# cannot be started is reported in red and the run goes on.
. "$(dirname "$0")/lib.sh"
qv_setup
settings=("DELAY_INTERPR 0" "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 3" "RUN_BATNIK Yes"
  "DELAY_BAT 0")
qv_qvr "--// nothing to carry out"
if [ "$QV_MODE" = wine ]; then
  printf '@echo off\r\necho ran> "%%~dp0ran.txt"\r\n' >"$QV_DIR/Quorvane.bat"
else
  printf '#!/bin/sh\necho ran > "$(dirname "$0")/ran.txt"\n' >"$QV_DIR/Quorvane.bat"
  chmod +x "$QV_DIR/Quorvane.bat"
fi
qv_cfg "${settings[@]}"
qv_run
expect_exit 3
expect_file ran.txt
expect_output_lacks "start a file"

rm -f "$QV_DIR/ran.txt"
qv_cfg "${settings[@]}" "VALID_EXIST_BAT No" 'NAME_BATNIK <PROGRAMM_PATH>\missing.bat'
qv_run
expect_exit 3
missing=$(qv_path missing.bat)
[ "$QV_MODE" = wine ] || missing="$QV_DIR\\missing.bat"  # the separator as the setting has it
expect_output_contains "Can't start a file for run : $missing !!!"
expect_output_contains "---> Through 0 sec."
echo ok
