#!/usr/bin/env bash
# Without a lease: the program runs as an unprivileged account over a file
# another account owns (so it cannot take a lease on it), while a writer of
# the program's own account keeps the file open and appends a line now and
# then. While it is held the file is refused and stays where it is; once the
# writer has closed it, it is moved with every line it was given.
. "$(dirname "$0")/lib.sh"
camp_need_root
camp_workdir
camp_user
mkdir -p "$W/in" "$W/out" "$W/ctl"
chown "$CAMP_UID:$CAMP_GID" "$W/in" "$W/out" "$W/ctl"
: >"$W/in/held.log"
chmod 666 "$W/in/held.log" # owned by root, writable by the writer

camp_program "$W/p" "$CAMP_UID"
camp_cfg "$W/p" "DELAY_INTERPR 100" "DELAY_COPY 0"
camp_qvr "$W/p" "$W/in" "Mask: *.log" "$W/out" "Command: DO"

# Holds the file open and appends a numbered line every 50 ms until the
# release file appears; then one last line, close, and the count.
camp_bg "${CAMP_AS_USER[@]}" perl -e '
  my ($file, $release, $done) = @ARGV;
  open(my $f, ">>", $file) or die "open: $!";
  $f->autoflush(1);
  my $i = 0;
  until (-e $release) { $i++; print $f "line $i\n"; select(undef, undef, undef, 0.05); }
  $i++; print $f "line $i\n"; close($f);
  open(my $d, ">", $done) or die; print $d "$i\n"; close($d);' \
  "$W/in/held.log" "$W/ctl/release" "$W/ctl/done"
writer=$CAMP_BG
camp_wait_for 20 test -s "$W/in/held.log" || camp_fail "the writer did not start"

camp_run_bg "$W/p" 180 "${CAMP_AS_USER[@]}"
run=$CAMP_RUN_PID
started=$SECONDS
# Until the program has met the file (a report naming it), or a while.
seen() { camp_transcript_has "$W/p" held.log || [ $((SECONDS - started)) -ge 8 ] || [ ! -e "$W/in/held.log" ]; }
camp_wait_for 30 seen
# Several turns while it is held: it never leaves.
for ((i = 0; i < 60; i++)); do
  if [ ! -e "$W/in/held.log" ] || [ -e "$W/out/held.log" ]; then
    camp_fail "the file was moved while another program held it open"
    break
  fi
  sleep 0.05
done
touch "$W/ctl/release"
camp_wait_for 20 test -s "$W/ctl/done" || camp_fail "the writer did not finish"
camp_stop "$writer"
lines=$(cat "$W/ctl/done" 2>/dev/null || echo 0)

moved() { [ -f "$W/out/held.log" ] && [ ! -e "$W/in/held.log" ]; }
camp_wait_for 30 moved || camp_fail "the file was not moved after the writer closed it"
camp_stop_run "$run"
camp_run_wait "$W/p" "$run"
[ "$CAMP_HUNG" = 0 ] || camp_fail "the run did not end after the stop request"
if [ -f "$W/out/held.log" ]; then
  diff -q <(seq -f 'line %g' 1 "$lines") "$W/out/held.log" >/dev/null ||
    camp_fail "the moved file lacks lines the writer wrote (expected lines 1 to $lines)"
fi
camp_finish "$lines lines"
