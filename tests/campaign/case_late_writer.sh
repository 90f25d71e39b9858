#!/usr/bin/env bash
# A writer that reopens the source and appends a numbered line every few
# milliseconds while the program moves it over and over (one output directory
# per move through <NUMBER_FILE>) loses no line: every line is, exactly once,
# in the input directory or in one of the moved versions. A write that starts
# while the file is in flight must make the program give the dispatch up.
. "$(dirname "$0")/lib.sh"
mkdir -p "$W/in" "$W/out"
: >"$W/in/feed.log"
camp_program "$W/p" 0 "DELAY_INTERPR 40" "DELAY_COPY 0"
qv_qvr "$W/in" "Mask: *.log" "$W/out/<NUMBER_FILE>" "Command: DO"
lines() { find "$W/in" "$W/out" -type f -name feed.log -exec cat {} + 2>/dev/null; }
# Appends numbered lines, reopening the file for each, until told to stop;
# the count written ends up in writer-done.
writer() {
  local i=0
  until [ -e "$W/enough" ]; do
    i=$((i + 1))
    printf 'line %06d\n' "$i" >>"$W/in/feed.log"
    sleep 0.004
  done
  echo "$i" >"$W/writer-done"
}
enough() { [ "$(find "$W/out" -name feed.log | wc -l)" -ge 10 ] && [ "$(lines | wc -l)" -ge 600 ]; }
QV_TIMEOUT=300 qv_start
# The writer starts once the program has moved the file a first time.
qv_wait_for 60 compgen -G "$W/out/*/feed.log" >/dev/null || qv_fail "the program never moved the file"
camp_bg env W="$W" bash -c "$(declare -f writer); writer"
qv_wait_for 150 enough || qv_fail "fewer than 10 moves or 600 lines in 150 s"
touch "$W/enough"
qv_wait_for 60 test -e "$W/writer-done" || qv_fail "the writer was held up for good"
camp_end "$CAMP_BG"
qv_stop
qv_wait_end
[ "$QV_HUNG" = 0 ] || qv_fail "the run did not end after the stop request"
got=$(lines | sort)
[ "$got" = "$(seq -f 'line %06g' 1 "$(cat "$W/writer-done")")" ] ||
  qv_fail "lines lost or delivered twice: $(diff <(echo "$got") <(seq -f 'line %06g' 1 "$(cat "$W/writer-done")") | head -n 4)"
