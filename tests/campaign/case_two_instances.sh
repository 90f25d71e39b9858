#!/usr/bin/env bash
# Two instances of the program on one input directory with many files (10,000
# unless CAMP_FILES says otherwise), each moving into an output of its own:
# taking a file is a step only one of them can win, so every file is
# delivered exactly once over both outputs, with its own content, and
# reported as moved once. What neither took within its two passes is swept
# up by one more run.
. "$(dirname "$0")/lib.sh"
count=${CAMP_FILES:-10000}
mkdir -p "$W/in"
(cd "$W/in" && for ((i = 1; i <= count; i++)); do printf 'f%d.dat %01000d\n' "$i" 0 >"f$i.dat"; done)
# A pause per file (1 ms for 10,000 files, 5 ms for 1,000) makes one instance
# alone need 5 s or more for a pass, so the second one, started a moment
# later on a loaded machine, still finds the first at work in the directory.
pause=$(((5000 + count - 1) / count))
for p in a b sweep; do
  camp_program "$W/$p" 0 "DELAY_INTERPR 0" "DELAY_COPY $pause" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 17"
  qv_qvr "$W/in" "Mask: *.dat" "$W/$p/out" "Command: DO"
done
QV_TIMEOUT=900
QV_DIR=$W/a qv_start && first=$QV_PID
QV_DIR=$W/b qv_start && second=$QV_PID
qv_wait_end "$W/a" "$first" && expect_run 17
qv_wait_end "$W/b" "$second" && expect_run 17
qv_run
expect_run 17
[ -z "$(ls "$W/in")" ] || qv_fail "$(ls "$W/in" | wc -l) files never left the input directory"
delivered=$(find "$W"/*/out -type f -name 'f*.dat' -printf '%f\n' | sort)
[ "$delivered" = "$(seq -f 'f%g.dat' 1 "$count" | sort)" ] || qv_fail "files delivered twice or not at all"
# Each file begins with its own name.
[ -z "$(find "$W"/*/out -type f -exec awk 'FILENAME !~ "/" $1 "$" { print FILENAME } { nextfile }' {} +)" ] ||
  qv_fail "a file holds another's content"
[ -z "$(cat "$W"/*/out.txt | grep -o '/f[0-9]*\.dat O=> ' | sort | uniq -d)" ] || qv_fail "a file reported moved twice"
[ -n "$(ls "$W/a/out")" ] && [ -n "$(ls "$W/b/out")" ] || qv_fail "the instances never worked side by side"

