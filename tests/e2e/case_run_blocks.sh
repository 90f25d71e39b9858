#!/usr/bin/env bash
# Whole runs over blocks of a task script: copies into every output but the
# last and a move into the last, both existing-target policies, covering notes
# that follow their data file, date macros in output paths, and the end after
# a number of passes with its exit code.
. "$(dirname "$0")/lib.sh"

fast_settings() {
  qv_cfg "DELAY_INTERPR 50" "DELAY_COPY 10" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 17" "$@"
}

# --- copies, a move, a covering note, macros in the output path, cycle limit
qv_setup
fast_settings "ANALIS_SOPR Yes" "MASK_SOPR *.(s)"
qv_qvr "--// two blocks" \
  "$(qv_path in)" \
  "Mask: *.txt" \
  "$(qv_path out/first)" \
  "$(qv_path out/second)" \
  "$(qv_path 'out/arch/<YEAR>-<MONTH>-<DAY>')   --// the last one gets the move" \
  "Command: DO-OUT" \
  "Mask: *.dat" \
  "<PROGRAMM_PATH>/out/data" \
  "Command: DO-ALL"
qv_file in/a.txt "alpha"
qv_file in/b.txt "beta"
qv_file in/c.dat "gamma"
qv_file "in/a.(s)" "this note goes with A.TXT"
qv_file "in/z.(s)" "this note names nothing here"
today=$(date +%y-%m-%d)
qv_run
expect_exit 17
for d in out/first out/second "out/arch/$today"; do
  expect_file "$d/a.txt" "alpha"
  expect_file "$d/b.txt" "beta"
  expect_file "$d/a.(s)" "this note goes with A.TXT"
  expect_no_file "$d/z.(s)"
done
expect_file out/data/c.dat "gamma"
expect_no_file in/a.txt
expect_no_file in/b.txt
expect_no_file in/c.dat
expect_no_file "in/a.(s)"
expect_file "in/z.(s)"
expect_output_contains "a.txt *=> $(qv_path out/first)"
expect_output_contains "a.txt O=> $(qv_path "out/arch/$today")"
expect_output_contains "Exit by amount cycles of perfomance files configuration 2."
expect_last_line "Good Luck! Good-By :─) !"
[ "$(grep -c 'Good Luck!' "$QV_DIR/out.txt")" = 1 ] || qv_fail "farewell line not written once"
qv_cleanup

# --- an existing target: a chain of sub-directories, or replacement
for policy in CREATE_DIR OVERWRITE_FILE; do
  QV_DIR=
  qv_setup
  fast_settings "VALID_CYCLE_FULL_RUN 1" "IF_FILE_EXIST $policy" "CREATE_DIR KEEP"
  qv_qvr "$(qv_path in)" "Mask: *.*" "$(qv_path out)" "Command: DO"
  qv_file in/r.txt "new"
  qv_file out/r.txt "old"
  qv_file out/KEEP/r.txt "older"
  qv_run
  expect_exit 17
  expect_no_file in/r.txt
  if [ $policy = CREATE_DIR ]; then
    expect_file out/r.txt "old"
    expect_file out/KEEP/r.txt "older"
    expect_file out/KEEP/KEEP/r.txt "new"
    expect_output_contains "already exist"
  else
    expect_file out/r.txt "new"
    expect_no_file out/KEEP/KEEP
    expect_output_contains "is successfully removed!!!"
  fi
  qv_cleanup
done
echo "case_run_blocks: all checks passed"
