#!/usr/bin/env bash
# Files whose names take 250 and 254 bytes on disk (Cyrillic letters, two
# bytes each in UTF-8, so the paths still fit the program's texts) are moved:
# no name in flight may be derived from the file's name and overflow the
# file system's name limit.
. "$(dirname "$0")/lib.sh"
camp_need_root
camp_workdir
mkdir -p "$W/in" "$W/out"
long_name() { printf "%0.s$2" $(seq 1 "$1"); printf '.txt'; }
names=("$(long_name 123 Ж)" "$(long_name 125 Д)")
for n in "${names[@]}"; do printf '%s\n' "${#n} letters" >"$W/in/$n"; done
[ "$(printf '%s' "${names[1]}" | wc -c)" = 254 ] || camp_fail "the long name is not 254 bytes"

camp_program "$W/p"
camp_cfg "$W/p" "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 17"
camp_qvr "$W/p" "$W/in" "Mask: *.txt" "$W/out" "Command: DO"
camp_run "$W/p" 60
[ "$CAMP_HUNG" = 0 ] || camp_fail "the run did not end"
[ "$CAMP_EXIT" = 17 ] || camp_fail "exit code $CAMP_EXIT, expected 17"
for n in "${names[@]}"; do
  bytes=$(printf '%s' "$n" | wc -c)
  [ -f "$W/out/$n" ] && [ "$(cat "$W/out/$n")" = "${#n} letters" ] || camp_fail "the $bytes-byte name was not moved"
  [ ! -e "$W/in/$n" ] || camp_fail "the $bytes-byte name is still in the input directory"
done
camp_finish
