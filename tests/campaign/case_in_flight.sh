#!/usr/bin/env bash
# Two attacks on files in flight, while each flush is slowed down by strace.
# A producer renames a new version over the file the program is sending
# (rename(staging/big.bin, in/big.bin), the usual way of delivering): the new
# version stays in the input directory with its own content and the old one
# is delivered, not lost. Someone who can write an output directory swaps
# every file in flight there for a hard link to a file of root's (made as root
# here: the kernel keeps an ordinary account from linking to it, but not every
# system does): that file never gets its mode, time or content changed, as the
# program stamps only the file it wrote, through its own handle.
. "$(dirname "$0")/lib.sh"
mkdir -p "$W/in" "$W/staging" "$W/out1" "$W/out2" "$W/hin" "$W/hout1" "$W/hout2" "$W/vault"
{ echo OLD; head -c 3000000 /dev/urandom; } >"$W/in/big.bin"
{ echo NEW; head -c 2000000 /dev/urandom; } >"$W/staging/big.bin"
old=$(qv_sha "$W/in/big.bin") new=$(qv_sha "$W/staging/big.bin") inode=$(stat -c %i "$W/in/big.bin")
V=$W/vault/victim.txt
echo "root's own file" >"$V" && chmod 700 "$W/vault" && chmod 600 "$V" && touch -m -d '2003-04-05 06:07:08' "$V"
before=$(stat -c '%a %Y %s' "$V" && qv_sha "$V")
head -c 65536 /dev/urandom >"$W/hin/src.dat" && chmod 444 "$W/hin/src.dat" && camp_age "$W/hin/src.dat"
camp_program "$W/p" 0 "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 17"
qv_qvr "$W/in" "Mask: *.bin" "$W/out1" "$W/out2" "Command: DO-ALL" \
  "$W/hin" "Mask: *.dat" "$W/hout1" "$W/hout2" "Command: DO"

# Swaps each named file in flight for a link to the victim, until stopped.
swapper() {
  while :; do
    for f in "$W"/hout[12]/.~qv*; do
      [ -f "$f" ] && [ ! "$f" -ef "$V" ] && ln -f "$V" "$W/swap" && mv -f "$W/swap" "$f" && echo "$f" >>"$W/swaps"
    done
    sleep 0.01
  done
}
# In flight: taken out of its place, or a file in flight beside an output.
in_flight() {
  [ "$(stat -c %i "$W/in/big.bin" 2>/dev/null)" != "$inode" ] ||
    compgen -G "$W/out[12]/.~qv*" >/dev/null || compgen -G "$W/in/.~qv*" >/dev/null
}
camp_bg env W="$W" V="$V" bash -c "$(declare -f swapper); swapper"
QV_TIMEOUT=120 qv_start strace -f -qq -o /dev/null -e trace=fsync,fdatasync,sync_file_range,syncfs \
  -e inject=fsync,fdatasync,sync_file_range,syncfs:delay_enter=1000000
qv_wait_for 60 in_flight && mv "$W/staging/big.bin" "$W/in/big.bin" || qv_fail "big.bin never seen in flight"
qv_wait_end
camp_end "$CAMP_BG"
expect_run 17
[ "$(qv_sha "$W/in/big.bin") $(qv_sha "$W/out1/big.bin") $(qv_sha "$W/out2/big.bin")" = "$new $old $old" ] ||
  qv_fail "the new version renamed over the source, or the old one in flight, is lost"
[ "$(stat -c '%a %Y %s' "$V" && qv_sha "$V")" = "$before" ] || qv_fail "the linked file changed"
