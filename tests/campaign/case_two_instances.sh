#!/usr/bin/env bash
# Two instances of the program on one input directory with many files (10,000
# unless CAMP_FILES says otherwise), each moving into an output of its own:
# taking a file is a step only one of them can win, so every file is
# delivered exactly once over both outputs and reported as moved once. What
# neither took within its two passes is swept up by one more run.
. "$(dirname "$0")/lib.sh"
camp_need_root
camp_workdir
count=${CAMP_FILES:-10000}
mkdir -p "$W/in" "$W/a" "$W/b" "$W/sweep"
(cd "$W/in" && for ((i = 1; i <= count; i++)); do
  printf 'file %05d %01000d\n' "$i" 0 >"f$i.dat"
done)

# A pause of 1 ms per file keeps both instances in the directory together.
for p in p1 p2 p3; do
  camp_program "$W/$p"
  camp_cfg "$W/$p" "DELAY_INTERPR 0" "DELAY_COPY 1" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 17"
done
camp_qvr "$W/p1" "$W/in" "Mask: *.dat" "$W/a" "Command: DO"
camp_qvr "$W/p2" "$W/in" "Mask: *.dat" "$W/b" "Command: DO"
camp_qvr "$W/p3" "$W/in" "Mask: *.dat" "$W/sweep" "Command: DO"
camp_run_bg "$W/p1" 900
first=$CAMP_RUN_PID
camp_run_bg "$W/p2" 900
second=$CAMP_RUN_PID
camp_run_wait "$W/p1" "$first"
[ "$CAMP_HUNG" = 0 ] || camp_fail "the first instance did not end"
camp_run_wait "$W/p2" "$second"
[ "$CAMP_HUNG" = 0 ] || camp_fail "the second instance did not end"
camp_run "$W/p3" 900
[ "$CAMP_HUNG" = 0 ] || camp_fail "the sweeping run did not end"

left=$(find "$W/in" -type f -name '*.dat' | wc -l)
[ "$left" = 0 ] || camp_fail "$left files never left the input directory"
delivered=$( (camp_regular_files "$W/a"; camp_regular_files "$W/b"; camp_regular_files "$W/sweep") |
  sed 's|.*/||' | sort)
twice=$(uniq -d <<<"$delivered" | wc -l)
distinct=$(sort -u <<<"$delivered" | grep -c .)
[ "$twice" = 0 ] || camp_fail "$twice files delivered more than once, e.g. $(uniq -d <<<"$delivered" | head -n 3 | tr '\n' ' ')"
[ "$distinct" = "$count" ] || camp_fail "$distinct of $count files delivered"
bad=0
for f in $(cd "$W" && find a b sweep -type f -name '*.dat' | head -n 200); do
  n=${f##*/f}
  [ "$(head -c 10 "$W/$f")" = "file $(printf %05d "${n%.dat}")" ] || bad=$((bad + 1))
done
[ "$bad" = 0 ] || camp_fail "$bad delivered files hold another file's content"
reported=$(cat "$W"/p[123]/out.txt | grep ' O=> ' | grep -o '/f[0-9]*\.dat O=> ' | sort | uniq -d | wc -l)
[ "$reported" = 0 ] || camp_fail "$reported files reported as moved more than once"
in_a=$(camp_regular_files "$W/a" | wc -l)
in_b=$(camp_regular_files "$W/b" | wc -l)
[ "$in_a" -gt 0 ] && [ "$in_b" -gt 0 ] || camp_fail "the instances never worked side by side ($in_a and $in_b files)"
camp_finish "$count files: $in_a by the first instance, $in_b by the second"
