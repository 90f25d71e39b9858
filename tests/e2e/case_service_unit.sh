#!/usr/bin/env bash
# The example systemd unit's command line, run as the unit runs it: in its
# working directory, as its dedicated account with CAP_LEASE as the only
# capability (when the case runs as root), standard input empty, output not
# a terminal. It moves files, and on SIGTERM finishes the file in hand and
# ends with exit code 0. Native only: the unit is for Linux.
. "$(dirname "$0")/lib.sh"
if [ "$QV_MODE" = wine ]; then
  echo "ok (a systemd unit runs the native build only)"
  exit 0
fi
unit=$(cd "$(dirname "$0")/../.." && pwd)/examples/quorvane.service
[ -f "$unit" ] || qv_fail "no example unit"
key() { sed -n "s/^$1=//p" "$unit"; }
[ "$(key StandardInput)" = null ] || qv_fail "the unit gives the program a standard input"
home=$(key WorkingDirectory)
account=$(key User)
[ -n "$home" ] && [ -n "$account" ] || qv_fail "the unit names no working directory or account"

qv_setup
command=$(key ExecStart)
command=${command//$home/$QV_DIR}
qv_cfg "DELAY_INTERPR 100" "DELAY_COPY 400"
qv_qvr "$(qv_path in)" "Mask: *.bin" "$(qv_path out1)" "$(qv_path out2)" "Command: DO"
mkdir -p "$QV_DIR/in"
for n in 1 2 3 4 5 6; do
  head -c $((3000000 + n)) /dev/urandom >"$QV_DIR/in/f$n.bin"
  cp "$QV_DIR/in/f$n.bin" "$QV_DIR/orig-f$n"
done

as_account=()
created=
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  if ! id "$account" >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$account" || qv_fail "no account"
    created=$account
  fi
  chown -R "$account:" "$QV_DIR"
  as_account=(setpriv --reuid="$account" --regid="$account" --init-groups
    --inh-caps=+lease --ambient-caps=+lease --)
fi
cleanup_account() {
  [ -z "$created" ] || userdel "$created" 2>/dev/null
  qv_cleanup
}
trap cleanup_account EXIT

(cd "$QV_DIR" && exec "${as_account[@]}" $command </dev/null >"$QV_DIR/raw.txt" 2>"$QV_DIR/err.txt") &
QV_PID=$!
qv_wait_for grep -q ' O=> ' "$QV_DIR/raw.txt"
kill -TERM $QV_PID
qv_wait_end
expect_exit 0
expect_output_contains "Exit on pressing a key."
expect_stopped_whole 6
echo "ok ($QV_MOVED of 6 files moved${as_account:+, as $account})"
