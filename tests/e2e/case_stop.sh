# shellcheck shell=bash
# Runs that go on until they are stopped, or killed.

# A stop request by signal (SIGTERM natively, SIGINT under Wine, where it
# arrives as Ctrl+C) in the middle of sending files ends the run like a key
# press: after the file in hand, exit code 0, the banner again and the
# farewell line; every file is whole wherever it is, and no file in flight is
# left. Natively the run is the example systemd unit's: its command line, in
# its working directory, as its account with CAP_LEASE as the only
# capability, standard input empty. The log, moved away mid-run as a rotation
# does, starts anew under its name while the moved file keeps what came before.
t_stop() {
  local n user as=() before after
  qv_cfg "DELAY_INTERPR 100" "DELAY_COPY 400" "LOG_EXIST Yes" "LOG_NAME <PROGRAMM_PATH>/run.log"
  qv_qvr "$(qv_path in)" "Mask: *.bin" "$(qv_path out1)" "$(qv_path out2)" "Command: DO"
  mkdir -p "$QV_DIR/in"
  for n in {1..8}; do head -c $((3000000 + n)) /dev/urandom >"$QV_DIR/in/f$n.bin"; done
  cp -r "$QV_DIR/in" "$QV_DIR/orig"
  if [ "$QV_MODE" = native ] && [ "$(id -u)" = 0 ]; then
    key() { sed -n "s/^$1=//p" "$here/../../examples/quorvane.service"; }
    [ "$(key StandardInput) $(key ExecStart)" = "null $(key WorkingDirectory)/quorvane" ] ||
      qv_fail "the unit runs the program otherwise"
    user=$(key User)
    id "$user" >/dev/null 2>&1 || { useradd -r -M -s /usr/sbin/nologin "$user" && QV_USERS+=("$user"); }
    chown -R "$user:" "$QV_DIR"
    as=(setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps=+lease --ambient-caps=+lease --)
  fi
  qv_start "${as[@]}"
  qv_wait_for 60 grep -qs ' O=> ' "$QV_DIR/run.log" || qv_die "no file moved"
  mv "$QV_DIR/run.log" "$QV_DIR/run.log.1"
  qv_wait_for 60 grep -qs ' O=> ' "$QV_DIR/run.log" || qv_die "no file moved after the log was moved"
  qv_stop
  qv_wait_end
  expect_run 0 "Exit on pressing a key." "^$farewell" "2*At detection of"
  # Each file whole and once: in the input directory, or in both outputs.
  sums() { (cd "$QV_DIR" && sha256sum "$@" | sed 's| .*/| |' | sort); }
  [ "$(sums out1/*)" = "$(sums out2/*)" ] && [ "$(sums in/* out2/*)" = "$(sums orig/*)" ] ||
    qv_fail "a file is cut, lost or sent twice"
  n=$(ls "$QV_DIR/out2" | wc -l)
  [ "$n" -ge 2 ] && [ "$n" -lt 8 ] || qv_fail "$n files sent: the stop did not end the run early"
  [ -z "$(find "$QV_DIR" -name '.~qv*')" ] || qv_fail "files in flight left behind"
  before=$(qv_log run.log.1) after=$(qv_log run.log)
  [[ $before == *"Start of the run"*" O=> "* && $before != *"Exit on"* ]] ||
    qv_fail "the moved log lost its lines or kept growing: $before"
  [[ $after == *" O=> "*"Exit on pressing a key."*"End of the run, exit code 0" && $after != *"Start of"* ]] ||
    qv_fail "the new log lacks the later lines or repeats the old: $after"
}

# The headless transcript is written as it happens: two transfer lines are
# readable, whole and on lines of their own, while the run still waits in the
# pause after them, one of them exactly as wide as the done-operations panel
# (so that on the screen the next one follows without a line break). Killed
# there, the run leaves a transcript with every message it had written, which
# the log lists one per line.
t_transcript() {
  local in out fixed wide log
  qv_cfg "DELAY_INTERPR 4000" "DELAY_COPY 0" "LOG_EXIST Yes" "LOG_NAME <PROGRAMM_PATH>/run.log"
  qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
  # A name that makes "<in>NAME O=> <out> 5 bytes." fill whole rows of 77.
  in=$(qv_path in)$sep out=$(qv_path out)$sep
  fixed=$((${#in} + ${#out} + 14))
  wide=$(printf '%*s' $(((fixed + 6 + 76) / 77 * 77 - fixed - 4)) '' | tr ' ' w).txt
  qv_file "in/$wide" alpha in/b.txt gamma
  qv_start
  qv_wait_for 60 eval '[ "$(grep -c " O=> " "$QV_DIR/raw.txt")" = 2 ]' || qv_die "no two transfers"
  kill -0 "$QV_PID" 2>/dev/null || qv_fail "the run ended before the pause"
  kill -KILL -- "-$QV_PID"
  qv_wait_end
  # No two messages on one line: each transfer line holds one arrow and ends there.
  expect_run 137 "$in$wide O=> $out 5 bytes." "${in}b.txt O=> $out 5 bytes." "2*=>" "2* 5 bytes\.$"
  # Every message the log holds (all but its first line) is a line of the transcript.
  log=$(qv_log run.log | cut -c21- | tail -n +2)
  [ -n "$log" ] && ! grep -vxF -f "$QV_DIR/out.txt" <<<"$log" || qv_fail "the transcript lacks these log lines"
}
