#!/usr/bin/env bash
# Control bytes in a line of a file and in a file name reach the transcript as
# the console's glyphs, never raw; a line feed in a name never starts a line
# of its own, so a name cannot forge a message.
. "$(dirname "$0")/lib.sh"

# True when the file holds a control byte other than the line feed.
holds_control_bytes() { LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' "$1"; }

qv_setup
# ESC, BEL and DEL in a settings line: its report shows them as glyphs.
printf 'COLOUR\033[2J\a\177 red\n' >"$QV_DIR/Quorvane.cfg"
qv_run
expect_exit 7
expect_output_contains "Unknown variable - (COLOUR←[2J•⌂) with value <red> in 1 to line."
holds_control_bytes "$QV_DIR/out.txt" && qv_fail "a control byte reached the transcript"

# A file name with a line feed that would forge the message of another ending,
# and CR, ESC, BEL and DEL after it (no such name exists on Windows).
if [ "$QV_MODE" = native ]; then
  forged="Exit on pressing a key."
  qv_cfg "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 3"
  qv_qvr "$(qv_path in)" "Mask: *.*" "$(qv_path out)" "Command: DO"
  mkdir -p "$QV_DIR/in"
  printf 'data' >"$QV_DIR/in/"$'a\n'"$forged"$'\r\033[2J\a\177'
  qv_run
  expect_exit 3
  holds_control_bytes "$QV_DIR/raw.txt" && qv_fail "a control byte reached the transcript"
  if grep -q "^$forged" "$QV_DIR/out.txt"; then qv_fail "a file name began a line"; fi
  # Wherever the name is shown, it is shown whole on one line.
  if grep -qF "$forged" "$QV_DIR/out.txt"; then
    expect_output_contains "a◙$forged♪←[2J•⌂"
  fi
fi
echo "case_names_shown: all checks passed"
