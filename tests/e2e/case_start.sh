# shellcheck shell=bash
# Runs that end at start, before any file is touched: the banner and a missing
# settings file or task script, a settings line with control bytes (shown as
# the console's glyphs), a CREATE_DIR that names no directory level, and a
# read error in the middle of the settings file (injected with strace into
# the reads of that file alone). Headless, the end of standard input is never
# a key (every other run has an empty one), but a byte in it is: the run
# without a cycle limit ends at once, as on a key press, long before its
# run-time limit.
t_startup() {
  local banner="1.11 version ( Win+ )." heading="At detection of mistakes write Author E-Mail :"
  qv_file in/a.txt alpha
  qv_run
  expect_run 6 "$banner" "$heading" "The file of a configuration is not found " "$(qv_path Quorvane.cfg)"
  qv_cfg "LANGUAGE 0"
  qv_run
  expect_run 6 "$heading" "The file of a for interpretation is not found " "$(qv_path Quorvane.Qvr)" \
    "!Good Luck!"

  printf 'COLOUR\033[2J\a\177 red\n' >"$QV_DIR/Quorvane.cfg"
  qv_run
  expect_run 7 "Unknown variable - (COLOUR←[2J•⌂) with value <red> in 1 to line."
  LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' "$QV_DIR/out.txt" && qv_fail "a control byte reached the transcript"

  qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
  qv_cfg "DELAY_COPY 0" 'CREATE_DIR ""' "DELAY_INTERPR 0" "VALID_CYCLE_FULL_RUN 1"
  qv_run
  expect_run 9 "String variable - (CREATE_DIR) with incorrect value <> in 2 to line."

  # The first read takes 4096 bytes and ends inside the comments; the second fails.
  qv_cfg "DELAY_COPY 0" $(printf -- '--//_comment_line_%03d_that_fills_the_first_read_of_the_file\n' {1..200}) \
    "LANGUAGE Russian"
  qv_run strace -f -qq -o /dev/null -P "$QV_DIR/Quorvane.cfg" -e trace=read,pread64 \
    -e inject=read,pread64:error=EIO:when=2
  expect_run 6 "Can not read file : $(qv_path Quorvane.cfg) !!!" "!Good Luck!" @in/a.txt=alpha @!out
  printf k >"$QV_DIR/key"
  qv_cfg "DELAY_COPY 0" "DELAY_INTERPR 0" "VALID_CYCLE_FULL_RUN 0" "NUMBER_TIME_WORK 20" \
    "CODE_RETURN_TIME 23"
  QV_STDIN=$QV_DIR/key qv_run
  expect_run 0 "Exit on pressing a key." "!Exit by" "!Exit on time" @in/a.txt=alpha @!out/a.txt
}
