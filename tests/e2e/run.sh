#!/usr/bin/env bash
# Runs every end-to-end case against one build of the program:
#   tests/e2e/run.sh native build/quorvane
#   tests/e2e/run.sh wine   build-win/Quorvane.exe
# A case is a function t_NAME of a file case_*.sh; it runs in a temporary
# directory of its own (QV_DIR, with a copy of the program). The cases mostly
# wait on the program's pauses, so QV_JOBS (default 6) of them run at a time.
# Prints PASS or FAIL per case with its time (and the log of a failed case)
# and the counts; QV_CASES=REGEX runs only the cases it matches.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

[ $# = 2 ] && [ -f "$2" ] && [[ $1 == @(native|wine) ]] || { echo "usage: $0 <native|wine> <binary>" >&2; exit 2; }
export QV_MODE=$1 QV_BIN here results
QV_BIN=$(realpath "$2")
[ "$QV_MODE" = native ] || [ -n "${WINEPREFIX:-}" ] || source "$here/../../scripts/wine-env" "$(dirname "$QV_BIN")"
results=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e-results.XXXXXX")
trap 'rm -rf "$results"' EXIT

# run_case FILE NAME: one case; its output goes to NAME.log, its verdict and time to NAME.result.
run_case() {
  local started=$SECONDS
  (
    QV_CASE=$2
    . "$here/lib.sh"
    . "$1"
    qv_workdir
    qv_program "$W"
    "$2"
    [ "$QV_FAILED" = 0 ]
  ) >"$results/$2.log" 2>&1
  echo "$([ $? = 0 ] && echo PASS || echo FAIL) $2 ($((SECONDS - started)) s)" >"$results/$2.result"
}
export -f run_case

grep -oE '^t_[a-z0-9_]+' "$here"/case_*.sh | tr : ' ' | grep -E "${QV_CASES:-.}" >"$results/cases"
xargs -P "${QV_JOBS:-6}" -L 1 bash -c 'run_case "$@"' _ <"$results/cases"

while read -r _ name; do
  cat "$results/$name.result"
  grep -q '^PASS' "$results/$name.result" || sed 's/^/    /' "$results/$name.log"
done <"$results/cases"
fail=$(grep -L '^PASS' "$results"/*.result | wc -l)
echo "e2e ($QV_MODE): $(($(wc -l <"$results/cases") - fail)) passed, $fail failed"
[ "$fail" -eq 0 ]
