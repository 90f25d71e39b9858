#!/usr/bin/env bash
# A source that cannot be deleted (the input directory is a read-only bind
# mount) is reported as not deletable, at every turn the output gains no file
# and no COPY level, and the byte count on the status screen stays 0.
. "$(dirname "$0")/lib.sh"
camp_need_root
camp_workdir
mkdir -p "$W/in_rw" "$W/out"
head -c 1000 /dev/urandom >"$W/in_rw/ro.txt"
sum=$(camp_sha "$W/in_rw/ro.txt")
camp_bind_ro "$W/in_rw" "$W/in"

camp_program "$W/p"
camp_cfg "$W/p" "DELAY_INTERPR 300" "DELAY_COPY 0"
camp_qvr "$W/p" "$W/in" "Mask: *.txt" "$W/out" "Command: DO"
camp_tmux "$W/p"

# The counters of the status screen: the number in the left panel of a row.
counter() { camp_screen | sed -n "$1p" | awk -F'│' '{ n = split($2, w, " "); print w[n] }'; }
cycles_past() { [ "$(counter 6)" -ge "$1" ] 2>/dev/null; }
camp_wait_for 40 cycles_past 5 || camp_fail "the run never reached its fifth cycle"
bytes=$(counter 10)
[ "$bytes" = 0 ] || camp_fail "the byte count shows '$bytes' for a file that was never moved"
camp_screen_has "Can not delete" || camp_fail "no report that the source cannot be deleted"
camp_keys x
camp_wait_for 30 test -s "$W/p/tmux-exit" || camp_fail "no end after a key press"

files=$(find "$W/out" -type f | wc -l)
[ "$files" = 0 ] || camp_fail "the output gained $files files from a source that stays"
[ ! -e "$W/out/COPY" ] || camp_fail "the output grew a COPY level"
[ "$(camp_sha "$W/in/ro.txt")" = "$sum" ] || camp_fail "the source changed"
camp_finish
