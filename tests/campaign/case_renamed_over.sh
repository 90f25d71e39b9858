#!/usr/bin/env bash
# A producer renames a new version over a file the program is sending
# (rename(staging/big.bin, in/big.bin), the usual way of delivering): the new
# version stays in the input directory with its own content, and the old one
# is delivered, not lost. Each flush is slowed down by strace, so the rename
# lands while the old version is in flight.
. "$(dirname "$0")/lib.sh"
camp_need_root
camp_workdir
mkdir -p "$W/in" "$W/staging" "$W/out1" "$W/out2"
{ echo OLD; head -c 3000000 /dev/urandom; } >"$W/in/big.bin"
{ echo NEW; head -c 2000000 /dev/urandom; } >"$W/staging/big.bin"
old=$(camp_sha "$W/in/big.bin")
new=$(camp_sha "$W/staging/big.bin")
old_inode=$(stat -c %i "$W/in/big.bin")

camp_program "$W/p"
camp_cfg "$W/p" "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 17"
camp_qvr "$W/p" "$W/in" "Mask: *.bin" "$W/out1" "$W/out2" "Command: DO"

# In flight: taken out of its place, or a file in flight beside an output.
in_flight() {
  local inode
  inode=$(stat -c %i "$W/in/big.bin" 2>/dev/null)
  [ "$inode" != "$old_inode" ] && return 0
  compgen -G "$W/out[12]/.~qv*" >/dev/null || compgen -G "$W/in/.~qv*" >/dev/null
}

camp_run_bg "$W/p" 120 strace -f -qq -o /dev/null -e trace=fsync,fdatasync \
  -e inject=fsync,fdatasync:delay_enter=1000000
run=$CAMP_RUN_PID
if camp_wait_for 60 in_flight; then
  mv "$W/staging/big.bin" "$W/in/big.bin"
else
  camp_fail "the file was never seen in flight"
fi
camp_run_wait "$W/p" "$run"
[ "$CAMP_HUNG" = 0 ] || camp_fail "the run did not end"
[ "$CAMP_EXIT" = 17 ] || camp_fail "exit code $CAMP_EXIT, expected 17"

if [ ! -f "$W/in/big.bin" ]; then
  camp_fail "the new version renamed over the source is gone from the input directory"
elif [ "$(camp_sha "$W/in/big.bin")" != "$new" ]; then
  camp_fail "in/big.bin does not hold the new version"
fi
for out in out1 out2; do
  [ -f "$W/$out/big.bin" ] && [ "$(camp_sha "$W/$out/big.bin")" = "$old" ] ||
    camp_fail "$out/big.bin is not the old version that was in flight"
done
camp_finish
