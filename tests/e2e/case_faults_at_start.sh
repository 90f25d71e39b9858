#!/usr/bin/env bash
# Faults found at start end the run before any file is touched: a CREATE_DIR
# that names no directory level (exit 9, the faulty-value report), and a read
# error in the middle of the settings file (exit 6, a red report naming it),
# injected with strace into the reads of that file alone.
. "$(dirname "$0")/lib.sh"
qv_setup
qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
qv_file in/a.txt "alpha"

qv_cfg "DELAY_COPY 0" 'CREATE_DIR ""' "DELAY_INTERPR 0" "VALID_CYCLE_FULL_RUN 1"
qv_run
expect_exit 9
expect_output_contains "String variable - (CREATE_DIR) with incorrect value <> in 2 to line."
expect_file in/a.txt

# The first read takes 4096 bytes and ends inside the comments; the second fails.
{
  echo "DELAY_COPY 0"
  for i in $(seq 1 200); do echo "--// line $i of the comments that fill the first read"; done
  echo "LANGUAGE Russian"
} | qv_cfg
[ "$(stat -c %s "$QV_DIR/Quorvane.cfg")" -gt 8192 ] || qv_fail "the settings file is too short"
cmd=$(qv_command)
(cd "$QV_DIR" && timeout -k 10 "$QV_TIMEOUT" strace -f -qq -o /dev/null -P "$QV_DIR/Quorvane.cfg" \
  -e trace=read,pread64 -e inject=read,pread64:error=EIO:when=2 $cmd </dev/null \
  >"$QV_DIR/raw.txt" 2>"$QV_DIR/err.txt")
QV_EXIT=$?
tr -d '\r' <"$QV_DIR/raw.txt" >"$QV_DIR/out.txt"
expect_exit 6
expect_output_contains "Can not read file : $(qv_path Quorvane.cfg) !!!"
expect_output_lacks "Good Luck!"
expect_file in/a.txt
echo ok
