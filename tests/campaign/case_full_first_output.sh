#!/usr/bin/env bash
# The copy into output 1 fails (a small tmpfs with room enough to pass the
# free-space guard, but not for the file) while the move into output 2 would
# succeed: the dispatch is all or nothing, so the source stays whole, output 2
# gets nothing, nothing is reported as moved, and output 1 holds no cut file.
. "$(dirname "$0")/lib.sh"
camp_need_root
camp_workdir
mkdir -p "$W/in" "$W/out2"
camp_tmpfs "$W/out1" 2m
head -c $((880 * 1024)) /dev/zero >"$W/out1/filler"
free=$(df -B1 --output=avail "$W/out1" | tail -n 1)
head -c 3000000 /dev/urandom >"$W/in/big.bin"
sum=$(camp_sha "$W/in/big.bin")
[ "$free" -ge 1024000 ] && [ "$free" -lt 3000000 ] || camp_fail "the tmpfs has $free bytes free"

camp_program "$W/p"
camp_cfg "$W/p" "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 17"
camp_qvr "$W/p" "$W/in" "Mask: *.bin" "$W/out1" "$W/out2" "Command: DO"
camp_run "$W/p" 120
[ "$CAMP_HUNG" = 0 ] || camp_fail "the run did not end"
[ "$CAMP_EXIT" = 17 ] || camp_fail "exit code $CAMP_EXIT, expected 17"

[ -f "$W/in/big.bin" ] && [ "$(camp_sha "$W/in/big.bin")" = "$sum" ] ||
  camp_fail "the source is gone or changed although output 1 never got the file"
[ -z "$(camp_regular_files "$W/out2")" ] || camp_fail "output 2 got the file: $(camp_regular_files "$W/out2")"
[ "$(camp_regular_files "$W/out1")" = filler ] || camp_fail "output 1 holds $(camp_regular_files "$W/out1" | tr '\n' ' ')"
! camp_transcript_has "$W/p" " O=> " || camp_fail "a move was reported"
grep -v -e ' \*=> ' -e ' O=> ' "$W/p/out.txt" | grep -q big.bin || camp_fail "the failure was not reported"
camp_finish
