# The start banner, the start-up reports that end a run early, and the exit
# banner with the farewell line, headless and on an 80 x 25 screen.
source "$(dirname "$0")/lib.sh"
qv_setup

version="1.11 version ( Win+ )."
heading="At detection of mistakes write Author E-Mail :"
farewell="Good Luck! Good-By :─) !"

# No settings file: the banner, then the missing-settings report.
qv_run
expect_exit 6
expect_output_contains "$version"
expect_output_contains "$heading"
expect_output_contains "The file of a configuration is not found "
expect_output_contains "Quorvane.cfg"
expect_output_lacks "$farewell"

# Settings but no task script: the run ends with the missing-script report.
qv_cfg "LANGUAGE 0"
qv_run
expect_exit 6
expect_output_contains "$heading"
expect_output_contains "The file of a for interpretation is not found "
expect_output_contains "Quorvane.Qvr"
expect_output_lacks "$farewell"

# One pass through an empty task script: the run ends by itself, with the
# exit banner and the farewell line last.
qv_cfg "VALID_CYCLE_FULL_RUN 1" "DELAY_INTERPR 0"
qv_qvr "--// nothing to do"
qv_run
expect_exit 0
[ "$(grep -cF -- "$heading" "$QV_DIR/out.txt")" = 2 ] || qv_fail "the banner is not shown twice"
expect_last_line "$farewell"

# On a screen: the banner layout while the start-up pauses, the farewell
# line left on the terminal after the end.
qv_tmux
qv_screen_wait "$heading"
qv_screen | sed -n 1p | grep -qF -- "$version" || { qv_screen; qv_fail "row 1 lacks the title"; }
expect_row 3 "$heading"
qv_tmux_wait_exit
expect_exit 0
qv_screen_wait "$farewell" 5
echo "ok"
