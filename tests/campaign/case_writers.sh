#!/usr/bin/env bash
# Writers at work on the files the program takes, which runs as an
# unprivileged account and moves each into one output directory per move
# (through <NUMBER_FILE>), over and over.
# Without a lease: held.log belongs to another account (so no lease can be
# taken on it), and a writer of the program's own account keeps it open and
# appends a line now and then. While it is held the file is refused and stays
# where it is; once the writer has closed it, it is moved with every line.
# With a lease: a writer that reopens feed.log (the program's own) and appends
# a numbered line every few milliseconds loses no line: every line is, exactly
# once, in the input directory or in one of the moved versions. A write that
# starts while the file is in flight must make the program give the dispatch up.
. "$(dirname "$0")/lib.sh"
qv_user
mkdir -p "$W/in" "$W/out" "$W/ctl"
: >"$W/in/feed.log" && : >"$W/in/held.log" && chmod 666 "$W/in/held.log" # root's, writable by the writer

chown "$QV_UID:$QV_GID" "$W/in" "$W/out" "$W/ctl" "$W/in/feed.log"
camp_program "$W/p" "$QV_UID" "DELAY_INTERPR 40" "DELAY_COPY 0"
qv_qvr "$W/in" "Mask: *.log" "$W/out/<NUMBER_FILE>" "Command: DO"
lines() { find "$W/in" "$W/out" -type f -name "$1" -exec cat {} + 2>/dev/null; }

# writer NAME PAUSE held|reopen: appends a numbered line to in/NAME every PAUSE
# seconds until ctl/NAME.stop appears, opening the file anew for each line, or
# keeping it open throughout (held: then one last line, and close); then the
# count in ctl/NAME.
writer() {
  local i=0
  [ "$3" = reopen ] || exec 3>>"$W/in/$1"
  until [ -e "$W/ctl/$1.stop" ]; do
    i=$((i + 1))
    if [ "$3" = held ]; then printf 'line %06d\n' "$i" >&3; else printf 'line %06d\n' "$i" >>"$W/in/$1"; fi
    sleep "$2" 3>&-
  done
  [ "$3" = reopen ] || { printf 'line %06d\n' $((i += 1)) >&3 && exec 3>&-; }
  echo "$i" >"$W/ctl/$1"
}
start_writer() { camp_bg "${@:4}" env W="$W" bash -c "$(declare -f writer); writer $1 $2 $3"; }

start_writer held.log 0.05 held "${QV_AS_USER[@]}"
qv_wait_for 20 test -s "$W/in/held.log" || qv_fail "the writer of held.log did not start"
QV_TIMEOUT=300 qv_start "${QV_AS_USER[@]}"
# Until the program has met the file (a report naming it), or a while.
qv_wait_for 8 qv_says held.log
! qv_wait_for 3 eval '[ ! -e "$W/in/held.log" ] || compgen -G "$W/out/*/held.log" >/dev/null' ||
  qv_fail "held.log moved while held open"
touch "$W/ctl/held.log.stop"

enough() { [ "$(find "$W/out" -name feed.log | wc -l)" -ge 10 ] && [ "$(lines feed.log | wc -l)" -ge 600 ]; }
# The writer of feed.log starts once the program has moved the file a first time.
qv_wait_for 60 compgen -G "$W/out/*/feed.log" >/dev/null || qv_fail "the program never moved feed.log"
start_writer feed.log 0.004 reopen
qv_wait_for 150 enough || qv_fail "fewer than 10 moves or 600 lines in 150 s"
touch "$W/ctl/feed.log.stop"
qv_wait_for 60 test -s "$W/ctl/feed.log" || qv_fail "the writer of feed.log was held up for good"
qv_wait_for 30 eval '[ ! -e "$W/in/held.log" ] && [ -s "$W/ctl/held.log" ]' || qv_fail "held.log not moved once closed"
qv_stop
qv_wait_end
[ "$QV_HUNG" = 0 ] || qv_fail "the run did not end after the stop request"
for f in held.log feed.log; do
  [ "$(lines "$f" | sort)" = "$(seq -f 'line %06g' 1 "$(cat "$W/ctl/$f")")" ] || qv_fail "$f lost lines"
done
