# shellcheck shell=bash
# The 80 x 25 screen while a run works: the start banner in the start-up
# pause; the frame, the date line and its ticking clock, the elapsed time,
# the mask in the history panel, the counters, the done operations and the
# title line; the unknown-files panel, which lists after the first pass, in
# light green, the file no mask matches (not the one the mask takes, nor a
# sub-directory) and after a later pass, in yellow, one that turned up
# meanwhile, each once; a key ends the run and the farewell line stays.
t_screen() {
  qv_cfg "DELAY_INTERPR 700" "DELAY_COPY 0"
  qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
  qv_file in/a.txt alpha in/junk.bin j
  mkdir "$QV_DIR/in/sub.bin"
  qv_tmux
  qv_screen_wait "At detection of mistakes write Author E-Mail :"
  [[ $(qv_row 1) == *"1.11 version ( Win+ )."* && $(qv_row 3) == "At detection of mistakes"* ]] ||
    qv_fail "no banner: $(qv_screen)"
  qv_screen_wait "junk.bin ("
  qv_file in/new.bin n
  qv_screen_wait "new.bin ("
  local tick screen colour
  tick=$(qv_row 1 | tail -c 9)
  sleep 1.5 # two more passes: nothing is listed again, and the clock ticks
  colour=$(qv_screen -e)
  screen=$(qv_screen)
  # Rows of the screen and what they match, one "ROW|REGEX" a line.
  while IFS='|' read -r n re; do
    [[ $(sed -n "${n}p" <<<"$screen") =~ $re ]] || qv_fail "row $n is no match for $re: $screen"
  done <<'EOF'
1|[0-9]+ [A-Z][a-z]+ [0-9]{4} year\. +[0-9]{2}:[0-9]{2}:[0-9]{2}$
2|^┌───── History of search ─────┬───────── The list of "unknown" files ──────────┐$
3|^│.*\*\.txt.*Programm  work
4|0 Day 00:00:[0-9]{2}
8|[[:space:]]1[[:space:]]*│
10|[[:space:]]5[[:space:]]*│
11|In  .*1 Out  .*1
12|^╞═════════════════════════════╧ The done operations ═══════════════════════════╡$
24|^└──────
25|^     Quorvane.*1\.11 version \( Win\+ \) 2001y\.
EOF
  [ "$(sed -n 1p <<<"$screen" | tail -c 9)" != "$tick" ] || qv_fail "the clock stands at $tick"
  sed -n 13,23p <<<"$screen" | grep -qE "a.txt O=> .* 5 bytes." || qv_fail "the done operations lack the move"
  [ "$(sed -n 3,11p <<<"$screen" | grep -cE '(junk|new)\.bin \(')" = 2 ] || qv_fail "not each listed once"
  sed -n 3,11p <<<"$screen" | grep -qE 'a\.txt \(|sub\.bin \(' && qv_fail "a known file or a directory listed"
  [[ $(sed -n 3p <<<"$screen") == *"│ junk.bin ($(qv_path in)"* ]] || qv_fail "junk.bin is not the first row"
  [[ $colour =~ $'\e'\[(92|1\;32|38\;5\;10)m"junk.bin (".*$'\e'\[(93|1\;33|38\;5\;11)m"new.bin (" ]] ||
    qv_fail "junk.bin is not light green or new.bin not yellow"
  qv_keys q
  qv_tmux_wait_exit
  expect_run 0
  qv_screen_wait "Good Luck! Good-By :─) !" 5
}

# Under a C locale (services, containers) box lines and Cyrillic letters
# still show. The Windows build draws through its console: POSIX only.
t_screen_c_locale() {
  [ "$QV_MODE" = native ] || return 0
  qv_cfg "LANGUAGE Russian" "DELAY_INTERPR 500" "VALID_CYCLE_FULL_RUN 2" "CODE_RETURN_CYCLE 4"
  qv_qvr "--// nothing to carry out"
  qv_command() { QV_CMD=(env -u LANG LC_ALL=C "$QV_DIR/quorvane"); }
  qv_tmux
  qv_screen_wait "Распределитель файлов Кворвейн 1.11 веpсия"
  [ "$(qv_row 2)" = "┌────── История поиска ───────┬───────── Cписок \"неизвестных\" файлов ──────────┐" ] ||
    qv_fail "row 2 is $(qv_row 2)"
  qv_tmux_wait_exit
  expect_run 4
}
