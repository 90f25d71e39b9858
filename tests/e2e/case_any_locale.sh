#!/usr/bin/env bash
# The full screen under a C locale (services, containers): box lines and
# Cyrillic letters still show. The Windows build draws through its console,
# which has no locale of this kind: POSIX only.
. "$(dirname "$0")/lib.sh"
if [ "$QV_MODE" = wine ]; then
  echo "skipped: a POSIX terminal case"
  exit 0
fi
qv_setup
qv_cfg "LANGUAGE Russian" "DELAY_INTERPR 500" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 4"
qv_qvr "--// nothing to carry out"
qv_command() { echo "env -u LANG LC_ALL=C $QV_DIR/quorvane"; }
qv_tmux
qv_screen_wait "История поиска"
expect_row 2 "┌────── История поиска ───────┬───────── Cписок \"неизвестных\" файлов ──────────┐"
qv_screen_wait "Распределитель файлов Кворвейн"
[[ $(qv_screen | sed -n 25p) == *"Распределитель файлов Кворвейн 1.11 веpсия"* ]] ||
  qv_fail "row 25 lacks the Cyrillic title: $(qv_screen | sed -n 25p)"
qv_tmux_wait_exit
expect_exit 4
echo ok
