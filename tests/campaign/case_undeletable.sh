#!/usr/bin/env bash
# A source that cannot be deleted (the input directory is a read-only bind
# mount) is reported as not deletable, at every turn the output gains no file
# and no COPY level, and the byte count on the status screen stays 0.
. "$(dirname "$0")/lib.sh"
mkdir -p "$W/in_rw" "$W/out"
head -c 1000 /dev/urandom >"$W/in_rw/ro.txt"
sum=$(qv_sha "$W/in_rw/ro.txt")
camp_mount "$W/in" --bind "$W/in_rw"
mount -o remount,bind,ro "$W/in" || qv_die "cannot set up the case"
camp_program "$W/p" 0 "DELAY_INTERPR 300" "DELAY_COPY 0"
qv_qvr "$W/in" "Mask: *.txt" "$W/out" "Command: DO"
qv_tmux
# The counters of the status screen: the number in the left panel of a row.
counter() { qv_row "$1" | awk -F'│' '{ n = split($2, w, " "); print w[n] }'; }
qv_wait_for 40 eval '[ "$(counter 6)" -ge 5 ] 2>/dev/null' || qv_fail "the run never reached its fifth cycle"
[ "$(counter 10)" = 0 ] || qv_fail "the byte count shows '$(counter 10)' for a file never moved"
qv_shows "Can not delete" || qv_fail "no report that the source cannot be deleted"
qv_keys x
qv_tmux_wait_exit
[ -z "$(find "$W/out" -mindepth 1)" ] || qv_fail "the output gained $(find "$W/out" -mindepth 1)"
[ "$(qv_sha "$W/in/ro.txt")" = "$sum" ] || qv_fail "the source changed"
