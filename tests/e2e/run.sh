#!/usr/bin/env bash
# Runs every end-to-end case against one build of the program:
#   tests/e2e/run.sh native build/quorvane
#   tests/e2e/run.sh wine   build-win/Quorvane.exe
# Cases run two at a time, each in a temporary directory of its own; prints
# PASS or FAIL per case (with the log of a failed case) and the counts.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ $# -ne 2 ] || { [ "$1" != native ] && [ "$1" != wine ]; }; then
  echo "usage: $0 <native|wine> <binary>" >&2
  exit 2
fi
QV_MODE=$1
QV_BIN=$(realpath "$2")
[ -f "$QV_BIN" ] || { echo "no such binary: $2" >&2; exit 2; }
export QV_MODE QV_BIN

if [ "$QV_MODE" = wine ]; then
  if [ -z "${WINEPREFIX:-}" ]; then
    source "$here/../../scripts/wine-env" "$(dirname "$QV_BIN")"
  fi
fi

results=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e-results.XXXXXX")
trap 'rm -rf "$results"' EXIT

# One case: its output goes to a log, its verdict to a file.
run_case() {
  local file=$1 results=$2 name
  name=$(basename "$file" .sh)
  if bash "$file" "$QV_BIN" >"$results/$name.log" 2>&1; then
    echo PASS >"$results/$name.result"
  else
    echo FAIL >"$results/$name.result"
  fi
}
export -f run_case

find "$here" -maxdepth 1 -name 'case_*.sh' -print0 | sort -z |
  xargs -0 -P 2 -I{} bash -c 'run_case "$1" "$2"' _ {} "$results"

pass=0
fail=0
for file in "$here"/case_*.sh; do
  [ -e "$file" ] || continue
  name=$(basename "$file" .sh)
  verdict=$(cat "$results/$name.result" 2>/dev/null || echo FAIL)
  echo "$verdict $name"
  if [ "$verdict" = PASS ]; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    sed 's/^/    /' "$results/$name.log" 2>/dev/null
  fi
done
echo "e2e ($QV_MODE): $pass passed, $fail failed"
[ "$fail" -eq 0 ]
