#!/usr/bin/env bash
# The log file of a run with a transfer (and the directory it creates), a
# refused file and an error, in both languages and both LOG_TYPEs: every line
# stamped, Short without the ordinary messages, the run's first and last
# lines with the exit code. Four runs side by side.
. "$(dirname "$0")/lib.sh"
qv_setup

# log_run NAME LANGUAGE TYPE: one run; its checks follow in check_log.
log_run() {
  qv_side "$1"
  qv_cfg "LANGUAGE $2" "LOG_TYPE $3" "LOG_EXIST Yes" "LOG_NAME <PROGRAMM_PATH>/logs/run.log" \
    "DELAY_INTERPR 0" "DELAY_COPY 0" "MAX_FILE_SIZE 10" "VALID_CYCLE_FULL_RUN 1" \
    "CODE_RETURN_CYCLE 3"
  # One block each, so that the order of the directory does not matter.
  qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO-ALL" \
    "$(qv_path in)" "Mask: *.big" "$(qv_path out)" "Command: DO-ALL" \
    "$(qv_path in)" "Mask: *.err" 'Q:\out' "Command: DO-ALL"
  mkdir -p "$QV_DIR/logs"
  qv_file in/a.txt "alpha"
  qv_file in/b.big "far more than ten bytes"
  qv_file in/b.err "e"
  qv_run
  expect_exit 3
  expect_file out/a.txt "alpha"
  check_log "$2" "$3"
}

# Every line stamped; the expected texts in order; Short drops the rest.
check_log() {
  local log stamped texts
  log=$(qv_log logs/run.log) || qv_fail "no log"
  stamped=$(grep -cE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ' <<<"$log")
  [ "$stamped" = "$(wc -l <<<"$log")" ] || qv_fail "a line without its stamp: $log"
  texts=$(cut -c21- <<<"$log")
  local sep=/ in out
  [ "$QV_MODE" = wine ] && sep='\'
  in=$(qv_path in)$sep
  out=$(qv_path out)$sep
  local -a want
  if [ "$1" = English ]; then
    want=("Start of the run"
      "The target catalogue $out Is successfully created."
      "${in}a.txt O=> $out 5 bytes."
      "${in}b.big Restriction of the size of a file (23 > 10)"
      "Not Exist drive Q: !!!"
      "Add. Inf. Q:\\out$sep"
      "Exit by amount cycles of perfomance files configuration 1."
      "End of the run, exit code 3")
  else
    want=("Начало работы"
      "Выходной каталог $out успешно создан."
      "${in}a.txt O=> $out 5 байт."
      "${in}b.big ограничение размера файла (23 > 10)"
      "Несуществующий диск,Q: !!!"
      "Доп. Инф. Q:\\out$sep"
      "Выход по количеству циклов выполнения файлов конфигурации 1."
      "Конец работы, код выхода 3")
  fi
  [ "${2,,}" = short ] && unset 'want[1]' # the created directory is ordinary text
  local -a got
  mapfile -t got <<<"$texts"
  [ ${#got[@]} = ${#want[@]} ] || qv_fail "log has ${#got[@]} lines, expected ${#want[@]}: $texts"
  local i=0 w
  for w in "${want[@]}"; do
    [ "${got[$i]}" = "$w" ] || qv_fail "log line $((i + 1)) is '${got[$i]}', expected '$w'"
    i=$((i + 1))
  done
}

pids=()
(log_run en-full English Full) & pids+=($!)
(log_run en-short English short) & pids+=($!)
(log_run ru-full Russian Full) & pids+=($!)
(log_run ru-short Russian Short) & pids+=($!)
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
[ $failed = 0 ] || qv_fail "a run failed its checks"
echo ok
