#!/usr/bin/env bash
# End-to-end cases of the task script: the missing script, blocks carried out
# from a script with quoted names and comments, the reports of faulty lines
# with their physical line numbers, and the end-of-cycle program.
#
# Usage: case_script.sh BINARY
#   BINARY is the native build (quorvane) or the Windows build (Quorvane.exe,
#   run through ${WINE:-wine}). Every case runs headless in a temporary
#   directory that holds a copy of the binary, its Quorvane.cfg and its
#   Quorvane.Qvr.
set -u

bin=$(readlink -f "${1:?usage: case_script.sh BINARY}")
failures=0
work=$(mktemp -d)
trap '[[ -n ${KEEP:-} ]] || rm -rf "$work"' EXIT

is_windows() { [[ $bin == *.exe ]]; }

# A path as the program under test spells it.
native() {
  if is_windows; then
    printf 'Z:%s' "${1//\//\\}"
  else
    printf '%s' "$1"
  fi
}

# A fresh directory for one case, with the binary beside its files.
new_case() {
  dir=$(mktemp -d "$work/case.XXXX")
  cp "$bin" "$dir/"
  exe="$dir/$(basename "$bin")"
}

# Writes a file as CRLF lines (arguments are the lines).
write_lines() {
  local file=$1
  shift
  printf '%s\r\n' "$@" >"$file"
}

# Runs the case headless; sets rc and out (the transcript).
run_case() {
  if is_windows; then
    (cd "$dir" && timeout 120 "${WINE:-wine}" "$exe" </dev/null >"$dir/out.txt" 2>/dev/null)
  else
    (cd "$work" && timeout 120 "$exe" </dev/null >"$dir/out.txt" 2>/dev/null)
  fi
  rc=$?
  out=$(tr -d '\r' <"$dir/out.txt")
}

fail() {
  echo "FAIL [$case_name]: $*"
  failures=$((failures + 1))
}

expect_rc() { [[ $rc == "$1" ]] || fail "exit code $rc, expected $1"; }
expect_text() { [[ $out == *"$1"* ]] || fail "transcript lacks: $1"; }
expect_file() { [[ -f $1 ]] || fail "missing file ${1#"$dir"/}"; }
expect_no_file() { [[ ! -e $1 ]] || fail "file still there: ${1#"$dir"/}"; }

# Settings of every case: one script cycle, no waiting between turns.
base_settings() {
  write_lines "$dir/Quorvane.cfg" "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 3" \
    "DELAY_INTERPR 0" "DELAY_COPY 0" "$@"
}

case_name="missing script"
new_case
base_settings
run_case
expect_rc 6
expect_text "The file of a for interpretation is not found "

case_name="blocks of a script"
new_case
base_settings
mkdir -p "$dir/in" "$dir/from branch" "$dir/archive" "$dir/share" "$dir/texts"
echo data >"$dir/in/a.dbf"
echo more >"$dir/from branch/b.dbf"
echo text >"$dir/in/c.txt"
write_lines "$dir/Quorvane.Qvr" "--// daily distribution" "$(native "$dir/in")" \
  "\"$(native "$dir/from branch")\"" "Mask: *.dbf" "$(native "$dir/archive") --// long-term copy" \
  "$(native "$dir/share")" "Command: *0" "MASK: *.TXT" "$(native "$dir/texts")"
run_case
expect_rc 3
expect_file "$dir/archive/a.dbf"
expect_file "$dir/share/a.dbf"
expect_file "$dir/share/b.dbf"
expect_file "$dir/texts/c.txt"
expect_no_file "$dir/in/a.dbf"
expect_no_file "$dir/from branch/b.dbf"

case_name="faulty lines"
new_case
base_settings "LANGUAGE RUSSIAN"
mkdir -p "$dir/in" "$dir/out"
write_lines "$dir/Quorvane.Qvr" "$(native "$dir/in")" "" "Mask: *.x" "A B C D --// four" \
  "\"$(native "$dir/out")" "Command: RUN"
run_case
expect_rc 3
expect_text "неверное количество слов (4) в строке 4."
expect_text "->A B C D --// four<-"
expect_text "неверный синтаксис (\") в строке 5 :"
expect_text "Неизвестая команда ( 2 слово )"

case_name="end-of-cycle program"
new_case
base_settings "RUN_BATNIK YES" "VALID_EXIST_BAT NO" "NAME_BATNIK \"echo AFTER-THE-CYCLE\"" \
  "DELAY_BAT 1000"
write_lines "$dir/Quorvane.Qvr" "--// nothing to do"
run_case
expect_rc 3
expect_text "Run echo AFTER-THE-CYCLE"
expect_text "AFTER-THE-CYCLE"
expect_text "---> Through 1 sec. restore the screen:)))!!! < ------> Through 0 sec."

case_name="program not found"
new_case
base_settings "RUN_BATNIK YES" "VALID_EXIST_BAT YES" "NAME_BATNIK no-such-program.bat"
write_lines "$dir/Quorvane.Qvr" ""
run_case
expect_rc 3
expect_text "Сan't find a file for run : no-such-program.bat !!!"

if ((failures > 0)); then
  echo "case_script: $failures failure(s)"
  exit 1
fi
echo "case_script: all cases passed"
