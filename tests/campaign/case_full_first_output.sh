#!/usr/bin/env bash
# The copy into output 1 fails (a small tmpfs with room enough to pass the
# free-space guard, but not for the file) while the move into output 2 would
# succeed: the dispatch is all or nothing, so the source stays whole, output 2
# gets nothing, nothing is reported as moved, output 1 holds no cut file and
# the failure is reported.
. "$(dirname "$0")/lib.sh"
mkdir -p "$W/in" "$W/out2"
camp_mount "$W/out1" -t tmpfs -o size=2m,mode=0755 tmpfs
head -c $((880 * 1024)) /dev/zero >"$W/out1/filler"
free=$(df -B1 --output=avail "$W/out1" | tail -n 1)
[ "$free" -ge 1024000 ] && [ "$free" -lt 3000000 ] || qv_fail "the tmpfs has $free bytes free"
head -c 3000000 /dev/urandom >"$W/in/big.bin"
sum=$(qv_sha "$W/in/big.bin")
camp_program "$W/p" 0 "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 17"
qv_qvr "$W/in" "Mask: *.bin" "$W/out1" "$W/out2" "Command: DO"
QV_TIMEOUT=120 qv_run
expect_run 17 "! O=> "
[ "$(qv_sha "$W/in/big.bin")" = "$sum" ] || qv_fail "the source is gone or changed"
[ -z "$(ls -A "$W/out2")" ] && [ "$(ls -A "$W/out1")" = filler ] || qv_fail "an output holds $(ls -A "$W"/out*)"
grep -F big.bin "$W/p/out.txt" | grep -qv -e ' \*=> ' -e ' O=> ' || qv_fail "the failure was not reported"
