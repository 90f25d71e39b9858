#!/usr/bin/env bash
# Links the operator made (owned by root or by the account that runs the
# program) are followed on every path of the operator's: the settings file,
# the task script, an input and an output directory reached through links
# all work. A link that another account owns on the way to an output is
# refused like a missing directory, and nothing is written behind it.
. "$(dirname "$0")/lib.sh"
[ "$QV_MODE" = native ] || { echo "skip: POSIX links"; exit 0; }
qv_setup
mkdir -p "$QV_DIR/real/in" "$QV_DIR/real/out" "$QV_DIR/conf" "$QV_DIR/vault"
printf 'alpha' >"$QV_DIR/real/in/a.txt"
qv_write_cp866 "$QV_DIR/conf/settings" "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 1" \
  "CODE_RETURN_CYCLE 3"
ln -s "$QV_DIR/real/in" "$QV_DIR/in"
ln -s real/out "$QV_DIR/out"
ln -s conf/settings "$QV_DIR/Quorvane.cfg"
qv_write_cp866 "$QV_DIR/conf/script" "$QV_DIR/in" "Mask: *.txt" "$QV_DIR/out" "Command: DO"
ln -s "$QV_DIR/conf/script" "$QV_DIR/Quorvane.Qvr"
qv_run
expect_exit 3
expect_file "real/out/a.txt" alpha
expect_no_file "real/in/a.txt"

# The same output reached through a link that another account owns.
if [ "$(id -u)" = 0 ]; then
  printf 'beta' >"$QV_DIR/real/in/b.txt"
  rm "$QV_DIR/out"
  ln -s "$QV_DIR/vault" "$QV_DIR/out"
  chown -h nobody "$QV_DIR/out"
  qv_run
  expect_exit 3
  expect_file "real/in/b.txt" beta
  [ -z "$(ls -A "$QV_DIR/vault")" ] || qv_fail "a file was written behind a foreign link"
fi
echo ok
