#!/usr/bin/env bash
# Without a lease: the program runs as an unprivileged account over a file
# another account owns (so it cannot take a lease on it), while a writer of
# the program's own account keeps the file open and appends a line now and
# then. While it is held the file is refused and stays where it is; once the
# writer has closed it, it is moved with every line it was given.
. "$(dirname "$0")/lib.sh"
qv_user
mkdir -p "$W/in" "$W/out"
chown "$QV_UID:$QV_GID" "$W/in" "$W/out"
: >"$W/in/held.log"
chmod 666 "$W/in/held.log" # owned by root, writable by the writer
camp_program "$W/p" "$QV_UID" "DELAY_INTERPR 100" "DELAY_COPY 0"
qv_qvr "$W/in" "Mask: *.log" "$W/out" "Command: DO"
# Holds the file open and appends a numbered line every 50 ms until the
# release file appears; then one last line, close, and the count.
camp_bg "${QV_AS_USER[@]}" perl -e '
  my ($file, $release, $done) = @ARGV;
  open(my $f, ">>", $file) or die "open: $!";
  $f->autoflush(1);
  my $i = 0;
  until (-e $release) { $i++; print $f "line $i\n"; select(undef, undef, undef, 0.05); }
  $i++; print $f "line $i\n"; close($f);
  open(my $d, ">", $done) or die; print $d "$i\n"; close($d);' "$W/in/held.log" "$W/release" "$W/out/done"
writer=$CAMP_BG
qv_wait_for 20 test -s "$W/in/held.log" || qv_fail "the writer did not start"
QV_TIMEOUT=180 qv_start "${QV_AS_USER[@]}"
# Until the program has met the file (a report naming it), or a while.
qv_wait_for 8 qv_says held.log
for ((i = 0; i < 60; i++)); do
  [ -e "$W/in/held.log" ] && [ ! -e "$W/out/held.log" ] || { qv_fail "moved while held open" && break; }
  sleep 0.05
done
touch "$W/release"
qv_wait_for 20 test -s "$W/out/done" || qv_fail "the writer did not finish"
camp_end "$writer"
qv_wait_for 30 eval '[ -f "$W/out/held.log" ] && [ ! -e "$W/in/held.log" ]' || qv_fail "not moved once closed"
qv_stop
qv_wait_end
[ "$QV_HUNG" = 0 ] || qv_fail "the run did not end after the stop request"
diff <(seq -f 'line %g' 1 "$(cat "$W/out/done")") "$W/out/held.log" >/dev/null || qv_fail "lines lost"
