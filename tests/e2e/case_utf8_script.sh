#!/usr/bin/env bash
# A task script and a settings file with Cyrillic directory names and words:
# natively written in UTF-8 (as a Linux editor writes them), under Wine in
# CP866 (as there). Either way the files move from and into those directories.
. "$(dirname "$0")/lib.sh"
qv_setup
settings=("VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 3" "DELAY_INTERPR 0" "DELAY_COPY 0"
  "ANALIS_SOPR Нет  --// без сопроводительных записок")
script=("$(qv_path Входящие)" "Mask: *.*" "$(qv_path "Архив/Исходящие")" "Command: DO")
if [ "$QV_MODE" = wine ]; then
  qv_cfg "${settings[@]}"
  qv_qvr "${script[@]}"
else
  printf '%s\n' "${settings[@]}" >"$QV_DIR/Quorvane.cfg"
  printf '%s\n' "${script[@]}" >"$QV_DIR/Quorvane.Qvr"
fi
qv_file "Входящие/Отчёт за май.txt" "report"
qv_run
expect_exit 3
expect_file "Архив/Исходящие/Отчёт за май.txt" "report"
expect_no_file "Входящие/Отчёт за май.txt"
expect_output_contains "Отчёт за май.txt O=> "
echo ok
