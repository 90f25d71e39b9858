#!/usr/bin/env bash
# The headless transcript is written as it happens: two transfer lines are
# readable, whole and on lines of their own, while the run still waits in the
# pause after them, one of them exactly as wide as the done-operations panel
# (so that on the screen the next one follows without a line break). Killed
# with SIGKILL there, the run leaves a transcript that holds every message
# it had written, which the log lists one per line.
. "$(dirname "$0")/lib.sh"
qv_setup
qv_cfg "DELAY_INTERPR 4000" "DELAY_COPY 0" "LOG_EXIST Yes" "LOG_NAME <PROGRAMM_PATH>/run.log"
qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"

# A name that makes "<in>NAME O=> <out> 5 bytes." fill whole rows of 77.
sep=/
[ "$QV_MODE" = wine ] && sep='\'
in=$(qv_path in)$sep
out=$(qv_path out)$sep
pieces=" O=>  5 bytes."
fixed=$((${#in} + ${#out} + ${#pieces}))
n=$(((77 - fixed % 77) % 77))
[ $n -ge 6 ] || n=$((n + 77))
wide=$(printf '%*s' $((n - 4)) '' | tr ' ' w).txt
qv_file "in/$wide" "alpha"
qv_file in/b.txt "gamma"
[ $((fixed + ${#wide})) = $(((fixed + ${#wide} + 76) / 77 * 77)) ] || qv_fail "the name does not fill the rows"

qv_start
transfers() { [ "$(tr -d '\r' <"$QV_DIR/raw.txt" | grep -c ' O=> ')" = 2 ]; }
qv_wait_for transfers
kill -0 "$QV_PID" 2>/dev/null || qv_fail "the run ended before the pause"
kill -KILL "$QV_PID"
wait "$QV_PID" 2>/dev/null
tr -d '\r' <"$QV_DIR/raw.txt" >"$QV_DIR/out.txt"

expect_output_contains "$in$wide O=> $out 5 bytes."
expect_output_contains "${in}b.txt O=> $out 5 bytes."
# No two messages on one line: each transfer line holds one arrow and ends there.
[ "$(grep -c '=>' "$QV_DIR/out.txt")" = 2 ] || qv_fail "two transfers share a line"
grep ' O=> ' "$QV_DIR/out.txt" | grep -qv ' 5 bytes\.$' && qv_fail "a transfer line goes on"
# Every message the log holds (all but its first line) is a line of the transcript.
log=$(qv_log run.log | cut -c21- | tail -n +2)
[ -n "$log" ] || qv_fail "the log holds no message"
while IFS= read -r line; do
  grep -qxF -- "$line" "$QV_DIR/out.txt" || qv_fail "the transcript lacks the line: $line"
done <<<"$log"
echo ok
