# shellcheck shell=bash
# The log file of a run with a transfer (and the directory it creates), a
# refused file and an error: every line stamped, the run's first and last
# lines with the exit code; the Short type leaves out the ordinary messages.

# log_case LANGUAGE TYPE EXPECTED_LINE...: one run and its log, line by line;
# in the expected lines @IN@ and @OUT@ stand for the input and output paths,
# @P@ for the directory of the program, @S@ for the separator of its joins.
# A program after the pass that cannot be started is reported.
log_case() {
  local lang=$1 type=$2 log want
  want=$(printf '%s\n' "${@:3}")
  want=${want//@IN@/"$(qv_path in)$sep"} want=${want//@OUT@/"$(qv_path out)$sep"} want=${want//@S@/"$sep"}
  want=${want//@P@/"$(qv_path)"}
  qv_cfg "LANGUAGE $lang" "LOG_TYPE $type" "LOG_EXIST Yes" "LOG_NAME <PROGRAMM_PATH>/run.log" \
    "DELAY_INTERPR 0" "DELAY_COPY 0" "MAX_FILE_SIZE 10" "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 3" \
    "RUN_BATNIK Yes" "DELAY_BAT 0" "VALID_EXIST_BAT No" 'NAME_BATNIK <PROGRAMM_PATH>\missing.bat'

  # One block each, so that the order of the directory does not matter.
  qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO-OUT" "Mask: *.big" \
    "$(qv_path out)" "Command: 00" "$(qv_path in)" "Mask: *.err" 'Q:\out' "Command: DO-ALL"
  qv_file in/a.txt alpha in/b.big "far more than ten bytes" in/b.err e
  qv_run
  [ "$lang" = Russian ] && expect_run 3 "Через 0 сек." || expect_run 3 "---> Through 0 sec."
  log=$(qv_log run.log) || qv_fail "no log"
  grep -vqE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} ' <<<"$log" &&
    qv_fail "a line without its stamp: $log"
  [ "$(cut -c21- <<<"$log")" = "$want" ] || qv_fail "the log holds: $log"
}

t_log_russian_full() {
  log_case Russian Full "Начало работы" "Выходной каталог @OUT@ успешно создан." \
    "@IN@a.txt O=> @OUT@ 5 байт." "@IN@b.big ограничение размера файла (23 > 10)" \
    "Несуществующий диск,Q: !!!" "Доп. Инф. Q:\\out@S@" "Запускаю @P@\\missing.bat" \
    "Не могу запустить файл : @P@\\missing.bat !!!" \
    "Выход по количеству циклов выполнения файлов конфигурации 1." "Конец работы, код выхода 3"
}

t_log_english_short() {
  log_case English short "Start of the run" "@IN@a.txt O=> @OUT@ 5 bytes." \
    "@IN@b.big Restriction of the size of a file (23 > 10)" "Not Exist drive Q: !!!" \
    "Add. Inf. Q:\\out@S@" "Can't start a file for run : @P@\\missing.bat !!!" \
    "Exit by amount cycles of perfomance files configuration 1." "End of the run, exit code 3"
}
