#!/usr/bin/env bash
# The status screen on an 80 x 25 screen while a run works: the date line and
# the ticking clock, the elapsed time, the frame, the mask in the history
# panel, the counters, the done operations and the title line; afterwards the
# exit banner and the farewell line.
. "$(dirname "$0")/lib.sh"
qv_setup
qv_cfg "DELAY_INTERPR 1500" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 3" "CODE_RETURN_CYCLE 3"
qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
qv_file in/a.txt "alpha"
qv_tmux

qv_screen_wait "History of search"
qv_screen_wait " O=> "
expect_row 2 "┌───── History of search ─────┬───────── The list of \"unknown\" files ──────────┐"
expect_row 12 "╞═════════════════════════════╧ The done operations ═══════════════════════════╡"
expect_row 24 "└──────"
screen=$(qv_screen)
row() { sed -n "$1p" <<<"$screen"; }
[[ $(row 1) =~ [0-9]+\ [A-Z][a-z]+\ [0-9]{4}\ year\.\ +[0-9]{2}:[0-9]{2}:[0-9]{2}$ ]] ||
  qv_fail "row 1 is no date line with a clock: $(row 1)"
[[ $(row 3) == "│"*"*.txt"*"Programm  work"* ]] || qv_fail "row 3 lacks the mask or the label: $(row 3)"
[[ $(row 4) =~ "0 Day 00:00:"[0-9]{2} ]] || qv_fail "row 4 lacks the elapsed time: $(row 4)"
[[ $(row 8) =~ [[:space:]]1[[:space:]]*│ ]] || qv_fail "row 8 does not count one found file: $(row 8)"
[[ $(row 10) =~ [[:space:]]5[[:space:]]*│ ]] || qv_fail "row 10 does not count 5 bytes: $(row 10)"
[[ $(row 11) == *"In  "*"1 Out  "*"1"* ]] || qv_fail "row 11 lacks the directory counts: $(row 11)"
sed -n 13,23p <<<"$screen" | grep -qE "a.txt O=> .* 5 bytes." || qv_fail "the done operations lack the move"
[[ $(row 25) == "     Quorvane"*"1.11 version ( Win+ ) 2001y."* ]] || qv_fail "row 25 lacks the title: $(row 25)"

# The clock ticks.
first=$(qv_screen | sed -n 1p | grep -oE '[0-9]{2}:[0-9]{2}:[0-9]{2}$')
sleep 1.5
second=$(qv_screen | sed -n 1p | grep -oE '[0-9]{2}:[0-9]{2}:[0-9]{2}$')
[ -n "$first" ] && [ "$first" != "$second" ] || qv_fail "the clock stands at $first"

qv_tmux_wait_exit
expect_exit 3
qv_screen_wait "Good Luck! Good-By :─) !" 5
expect_file out/a.txt "alpha"
echo ok
