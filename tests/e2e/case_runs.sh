# shellcheck shell=bash
# Whole runs headless, from start to their end.

# Blocks of a task script with comments, a quoted name with a blank and
# Cyrillic names (the script and the settings natively in UTF-8 with CR LF,
# under Wine in CP866): copies into every output but the last and a move
# into the last; DO-OUT (as "*0") keeps the inputs for the next block, which
# has no command and is carried out at the end of the file; covering notes
# follow their data file; date macros in an output path; CREATE_DIR chains
# sub-directories under an existing target; the default program after a
# pass ran only after the pass that moved files; the end after two passes.
# Natively the settings file, the task script, an input and an output
# directory are reached through links the operator made (owned by root or by
# the account that runs the program), which are followed.
t_blocks() {
  local today report="Отчёт за май.txt"
  today=$(date +%y-%m-%d)
  [ "$QV_MODE" = wine ] || QV_UTF8=1
  qv_cfg "DELAY_INTERPR 50" "DELAY_COPY 10" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 17" \
    "ANALIS_SOPR Да  --// с сопроводительными записками" "MASK_SOPR *.(s)" "CREATE_DIR KEEP" \
    "RUN_BATNIK Yes" "DELAY_BAT 0" "USE_SMART_RUN Yes"
  qv_qvr "--// daily distribution" "$(qv_path Входящие)" "\"$(qv_path "from branch")\"" \
    "Mask: *.txt" "$(qv_path out/first)" "$(qv_path out/second)" \
    "$(qv_path "Архив/<YEAR>-<MONTH>-<DAY>")   --// the last one gets the move" "Command: *0" \
    "MASK: *.DAT" "<PROGRAMM_PATH>/out/data"
  qv_file Входящие/a.txt alpha "from branch/b.txt" beta "Входящие/$report" report \
    Входящие/c.dat gamma "Входящие/a.(s)" "this note goes with A.TXT" \
    "Входящие/z.(s)" "this note names nothing here" out/data/c.dat old out/data/KEEP/c.dat older
  # The program after each pass adds a line to ran.txt each time it runs.
  printf '#!/bin/sh\necho ran >>"$(dirname "$0")/ran.txt"\n' >"$QV_DIR/Quorvane.bat" && chmod +x "$QV_DIR/Quorvane.bat"
  [ "$QV_MODE" = native ] || printf '@echo ran>>"%%~dp0ran.txt"\r\n' >"$QV_DIR/Quorvane.bat"
  if [ "$QV_MODE" = native ]; then # links the operator made, on each kind of path of the operator's
    mkdir "$QV_DIR/conf" "$QV_DIR/real2" && mv "$QV_DIR"/Quorvane.{cfg,Qvr} "$QV_DIR/conf/"
    mv "$QV_DIR/from branch" "$QV_DIR/real" && ln -s real "$QV_DIR/from branch" && ln -s ../real2 "$QV_DIR/out/second"
    ln -s conf/Quorvane.cfg "$QV_DIR/Quorvane.cfg" && ln -s "$QV_DIR/conf/Quorvane.Qvr" "$QV_DIR/Quorvane.Qvr"
  fi
  qv_run
  expect_run 17 "a.txt *=> $(qv_path out/first)" "a.txt O=> $(qv_path "Архив/$today")" "$report O=> " \
    "already exist" "Exit by amount cycles of perfomance files configuration 2." \
    "Run $(qv_path)\\Quorvane.bat" "!start a file" "^$farewell" "1*Good Luck!" "2*At detection of" \
    @{out/first,out/second,"Архив/$today"}/{a.txt=alpha,b.txt=beta,"$report=report"} \
    @{out/first,out/second,"Архив/$today"}/"a.(s)=this note goes with A.TXT" \
    @!{out/first,out/second,"Архив/$today"}/"z.(s)" @out/data/c.dat=old @out/data/KEEP/c.dat=older \
    @out/data/KEEP/KEEP/c.dat=gamma @!Входящие/a.txt "@!from branch/b.txt" "@!Входящие/$report" \
    @!Входящие/c.dat "@!Входящие/a.(s)" "@Входящие/z.(s)" @ran.txt=ran
}

# The run-time limit ends the run when the cycle limit is far away; an
# existing target is replaced under OVERWRITE_FILE; a program after each pass
# that cannot be started is reported and the run goes on. MIN_FILE_AGE 5: a
# file appended to every second is left alone, without a report, as long as
# it grows, and is taken whole once it has rested.
t_limits() {
  local i
  qv_cfg "DELAY_INTERPR 300" "DELAY_COPY 10" "NUMBER_TIME_WORK 20" "CODE_RETURN_TIME 23" \
    "VALID_CYCLE_FULL_RUN 100000" "CODE_RETURN_CYCLE 5" "IF_FILE_EXIST OVERWRITE_FILE" "MIN_FILE_AGE 5" \
    "CREATE_DIR KEEP" "RUN_BATNIK YES" "VALID_EXIST_BAT YES" "NAME_BATNIK no-such-program.bat"
  qv_qvr "$(qv_path in)" "Mask: *.*" "$(qv_path out)" "Command: DO"
  qv_file in/t.txt timed out/t.txt old out/KEEP/t.txt older in/grow.txt start$'\n'
  qv_start
  # Taken while it grew, it would arrive cut and be reported twice.
  for i in {1..7}; do
    sleep 1 && echo "line $i" >>"$QV_DIR/in/grow.txt"
  done
  qv_wait_end
  expect_run 23 "Exit on time work of the program without bat-file 20." "is successfully removed!!!" \
    "Сan't find a file for run : no-such-program.bat !!!" "!Exit by amount cycles" "^$farewell" "1*grow.txt" \
    @out/t.txt=timed @out/KEEP/t.txt=older @!out/KEEP/KEEP @!in/t.txt @!in/grow.txt
  cmp -s "$QV_DIR/out/grow.txt" <(echo start && seq -f 'line %g' 1 7) || qv_fail "grow.txt was not taken whole"
}

# The program's own directory and the start directory with names CP866
# cannot hold: settings and task script are found beside the program, files
# move through <PROGRAMM_PATH> and <START_PATH>, each such character shows
# as '?', the joins take the platform's separator only, and an existing
# target gets a COPY level. A log that cannot be written is reported once and
# the files still move. The program after each pass (a command with an
# argument) runs after every pass, and its output shows.
t_home() {
  local start=$W/début
  mkdir -p "$start/in" && printf beta >"$start/in/b.txt"
  qv_program "$W/josé-日本"
  qv_cfg "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 3" \
    "LOG_EXIST Yes" "LOG_NAME <PROGRAMM_PATH>/no/such/dir/run.log" "RUN_BATNIK YES" \
    "USE_SMART_RUN No" "VALID_EXIST_BAT NO" 'NAME_BATNIK "echo AFTER-THE-CYCLE"' \
    "DELAY_BAT 1000"
  qv_qvr '<PROGRAMM_PATH>\in' '<START_PATH>\in' "Mask: *.txt" '<PROGRAMM_PATH>\out' "Command: DO"
  qv_file in/a.txt alpha in/c.txt gamma out/a.txt old
  QV_CWD=$start qv_run
  # The log reported once, every move reported, the program run and shown after each of two passes.
  expect_run 3 "jos?-??\\out${sep}COPY${sep} Is successfully created." "d?but\\in${sep}b.txt O=> " \
    "---> Through 1 sec. restore the screen:)))!!! < ------> Through 0 sec." \
    "1*^Can not write the log file .*run.log$" "3* O=> " "4*AFTER-THE-CYCLE" @out/a.txt=old \
    @out/COPY/a.txt=alpha @out/b.txt=beta @out/c.txt=gamma @!in/a.txt
}

# Faulty lines of a task script are reported with their physical line
# numbers (in Russian here) and the run goes on.
t_script_faults() {
  qv_cfg "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 3" "DELAY_INTERPR 0" "LANGUAGE RUSSIAN"
  qv_qvr "$(qv_path in)" "" "Mask: *.x" "A B C D --// four" "\"$(qv_path out)" "Command: RUN"
  qv_run
  expect_run 3 "неверное количество слов (4) в строке 4." "->A B C D --// four<-" \
    "неверный синтаксис (\") в строке 5 :" "Неизвестая команда ( 2 слово )"
}
