#!/usr/bin/env bash
# The program's own directory and the start directory with names CP866
# cannot hold (é, 日本): the program finds its settings and task script
# beside itself, moves files through <PROGRAMM_PATH> and <START_PATH>, and
# shows '?' for each such character; the paths it joins take the platform's
# separator only (what the operator wrote stays as written).
. "$(dirname "$0")/lib.sh"
qv_setup
home="$QV_DIR/josé-日本"
start="$QV_DIR/début"
mkdir -p "$home/in" "$start/in"
for f in quorvane Quorvane.exe; do [ ! -e "$QV_DIR/$f" ] || mv "$QV_DIR/$f" "$home/"; done
printf 'alpha' >"$home/in/a.txt"
printf 'beta' >"$start/in/b.txt"
mkdir -p "$home/out" && printf 'old' >"$home/out/a.txt"
qv_write_cp866 "$home/Quorvane.cfg" "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 1" \
  "CODE_RETURN_CYCLE 3"
qv_write_cp866 "$home/Quorvane.Qvr" '<PROGRAMM_PATH>\in' '<START_PATH>\in' "Mask: *.txt" \
  '<PROGRAMM_PATH>\out' "Command: DO"
if [ "$QV_MODE" = wine ]; then cmd="wine $home/Quorvane.exe"; else cmd="$home/quorvane"; fi
(cd "$start" && timeout -k 10 "$QV_TIMEOUT" $cmd </dev/null >"$QV_DIR/raw.txt" 2>"$QV_DIR/err.txt")
QV_EXIT=$?
tr -d '\r' <"$QV_DIR/raw.txt" >"$QV_DIR/out.txt"
expect_exit 3
expect_file "josé-日本/out/a.txt" old
expect_file "josé-日本/out/COPY/a.txt" alpha
expect_file "josé-日本/out/b.txt" beta
expect_no_file "josé-日本/in/a.txt"
expect_output_contains "jos?-??"
expect_output_contains "d?but"
if [ "$QV_MODE" = wine ]; then s='\'; else s=/; fi
# '\in' and '\out' as the task script writes them, then the joins.
expect_output_contains "jos?-??\\out${s}COPY${s} Is successfully created."
expect_output_contains "d?but\\in${s}b.txt O=> "
echo ok
