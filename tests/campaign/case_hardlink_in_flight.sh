#!/usr/bin/env bash
# Someone who can write an output directory swaps every file in flight there
# for a hard link to a file of root's (made as root here: the kernel keeps an
# ordinary account from linking to it, but not every system does). The file
# behind the link never gets its mode, time or content changed: the program
# stamps only the file it wrote, through its own handle. Each flush is slowed
# down by strace so that the swap lands before the stamps.
. "$(dirname "$0")/lib.sh"
camp_need_root
camp_workdir
mkdir -p "$W/in" "$W/out1" "$W/out2" "$W/vault"
chmod 700 "$W/vault"
echo "root's own file" >"$W/vault/victim.txt"
chmod 600 "$W/vault/victim.txt"
touch -m -d '2003-04-05 06:07:08' "$W/vault/victim.txt"
before=$(stat -c '%a %Y %s' "$W/vault/victim.txt")
victim_sum=$(camp_sha "$W/vault/victim.txt")
head -c 65536 /dev/urandom >"$W/in/src.dat"
chmod 444 "$W/in/src.dat"
camp_age "$W/in/src.dat"

camp_program "$W/p"
camp_cfg "$W/p" "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 17"
camp_qvr "$W/p" "$W/in" "Mask: *.dat" "$W/out1" "$W/out2" "Command: DO"

# Swaps each named file in flight for a link to the victim, until stopped.
attacker() {
  local f swaps=0
  while :; do
    for f in "$W"/out1/.~qv* "$W"/out2/.~qv*; do
      [ -f "$f" ] && [ ! "$f" -ef "$W/vault/victim.txt" ] || continue
      ln -f "$W/vault/victim.txt" "$W/swap" && mv -f "$W/swap" "$f" && swaps=$((swaps + 1))
      echo "$swaps" >"$W/swaps"
    done
    sleep 0.01
  done
}
camp_bg bash -c "$(declare -f attacker); W=$(printf %q "$W"); attacker"
camp_run "$W/p" 120 strace -f -qq -o /dev/null -e trace=fsync,fdatasync \
  -e inject=fsync,fdatasync:delay_enter=1000000
camp_stop "$CAMP_BG"
[ "$CAMP_HUNG" = 0 ] || camp_fail "the run did not end"

after=$(stat -c '%a %Y %s' "$W/vault/victim.txt")
[ "$after" = "$before" ] || camp_fail "the linked file changed from '$before' to '$after' (mode, time, size)"
[ "$(camp_sha "$W/vault/victim.txt")" = "$victim_sum" ] || camp_fail "the linked file's content changed"
camp_finish "$(cat "$W/swaps" 2>/dev/null || echo 0) files in flight swapped"
