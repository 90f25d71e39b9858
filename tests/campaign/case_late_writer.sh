#!/usr/bin/env bash
# A writer that reopens the source and appends a numbered line every few
# milliseconds while the program moves it over and over (one output directory
# per move through <NUMBER_FILE>) loses no line: every line is, exactly once,
# in the input directory or in one of the moved versions. A write that starts
# while the file is in flight must make the program give the dispatch up.
. "$(dirname "$0")/lib.sh"
camp_need_root
camp_workdir
min_lines=${CAMP_LINES:-600}
min_moves=10
mkdir -p "$W/in" "$W/out"
: >"$W/in/feed.log"

camp_program "$W/p"
camp_cfg "$W/p" "DELAY_INTERPR 40" "DELAY_COPY 0"
camp_qvr "$W/p" "$W/in" "Mask: *.log" "$W/out/<NUMBER_FILE>" "Command: DO"

moves() { find "$W/out" -type f -name feed.log 2>/dev/null | wc -l; }

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

enough() {
  [ "$(moves)" -ge "$min_moves" ] || return 1
  [ "$(find "$W/in" "$W/out" -type f -name feed.log -exec cat {} + 2>/dev/null | wc -l)" -ge "$min_lines" ]
}

camp_run_bg "$W/p" 300
run=$CAMP_RUN_PID
# The writer starts once the program has moved the file a first time.
camp_wait_for 60 compgen -G "$W/out/*/feed.log" >/dev/null || camp_fail "the program never moved the file"
camp_bg env W="$W" bash -c "$(declare -f writer); writer"
writer=$CAMP_BG
camp_wait_for 150 enough || camp_fail "fewer than $min_moves moves or $min_lines lines in 150 s"
touch "$W/enough"
camp_wait_for 60 test -e "$W/writer-done" || camp_fail "the writer was held up for good"
camp_stop "$writer"
lines=$(cat "$W/writer-done" 2>/dev/null || echo 0)
camp_stop_run "$run"
camp_run_wait "$W/p" "$run"
[ "$CAMP_HUNG" = 0 ] || camp_fail "the run did not end after the stop request"

moves=$(moves)
seq -f 'line %06g' 1 "$lines" >"$W/expected"
got=$(find "$W/in" "$W/out" -type f -name feed.log -exec cat {} + | sort)
missing=$(comm -23 "$W/expected" <(sort -u <<<"$got") | wc -l)
twice=$(uniq -d <<<"$got" | wc -l)
[ "$missing" = 0 ] || camp_fail "$missing of $lines lines lost over $moves moves"
[ "$twice" = 0 ] || camp_fail "$twice lines delivered twice"
camp_finish "$lines lines over $moves moves"
