#!/usr/bin/env bash
# The benchmark suite. Each case times the system's real main cycle over real
# files (bench/cycle_bench, a release build, driving the same start-up and
# main cycle as the program) against what an operator would use instead,
# alternating the two in the same run, and prints both medians, their ratio
# and PASS/FAIL against the case's target; the last line sums it all up.
# A benchmark, not a test: nothing in the test command runs it. It checks
# only that every timed run did its work (files where they belong, the run
# ended by its own limit), so that no figure comes from a run that failed.
#
# Usage: bench/run.sh [--quick] [--runs N] [CASE...]
#   CASE    A B C D E F S P M (default: all, in that order)
#   --quick smaller data for the dispatch cases (A B C D E F), 15 s of
#           polling for P, one memory run for M; S and M keep their sizes
#   --runs  timed runs of each side of a comparison (default 5)
# Environment: BUILD_DIR (default build-bench/ in the source tree),
#   BENCH_DIR (where the temporary data directory is made; default $TMPDIR,
#   else /var/tmp; input and output directories all lie in it, so on one
#   file system), KEEP=1 keeps the data, QV_JOBS (build jobs, default 2).
# Needs: cmake, ninja, g++, rsync; tmux for E, strace for F, GNU time for M.
set -euo pipefail
# Decimal points in the figures whatever the locale; the screen of case E
# still gets a UTF-8 locale of its own.
unset LC_ALL
export LC_NUMERIC=C

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
quick=0
runs=5
cases=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --runs) runs=${2:?--runs needs a number}; shift ;;
    [ABCDEFSPM]) cases+=("$1") ;;
    *) echo "usage: bench/run.sh [--quick] [--runs N] [A B C D E F S P M]" >&2; exit 2 ;;
  esac
  shift
done
[ ${#cases[@]} -gt 0 ] || cases=(A B C D E F S P M)
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "--runs wants a positive number" >&2; exit 2; }

die() {
  echo "bench: $*" >&2
  exit 1
}

need() {
  local tool
  for tool in "$@"; do command -v "$tool" >/dev/null || die "$tool is not installed"; done
}

# ---------------------------------------------------------------- figures

# Seconds from $1 to $2 (EPOCHREALTIME values).
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f\n", b - a }'; }

# The median of the arguments.
median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
    END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# field REPORT NAME: one value of a cycle_bench report line.
field() { sed -n "s/.*\<$2=\([^ ]*\).*/\1/p" "$1"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f\n", a / b; else print "inf" }'; }

# verdict RATIO TARGET: PASS when RATIO <= TARGET.
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r != "inf" && r <= t) ? "PASS" : "FAIL" }'; }

summary=()
passed=0 failed=0 reported=0
# record CASE VERDICT TEXT: one entry of the closing line.
record() {
  case "$2" in
    PASS) passed=$((passed + 1)) ;;
    FAIL) failed=$((failed + 1)) ;;
    *) reported=$((reported + 1)) ;;
  esac
  summary+=("$1 $2 $3")
}

# --------------------------------------------------------------- the data

# fresh DIR [COUNT BYTES PREFIX]: DIR empty, then COUNT files made in it.
fresh() {
  rm -rf "$1"
  mkdir -p "$1"
  [ $# -lt 4 ] || "$driver" --make "$1" "$2" "$3" "$4" || die "cannot make the files in $1"
}

# expect_count DIR N: DIR holds exactly N regular files (sub-directories not counted).
expect_count() {
  local n
  n=$(find "$1" -maxdepth 1 -type f | wc -l)
  [ "$n" -eq "$2" ] || die "$1 holds $n files, $2 expected"
}

# expect_size FILE BYTES
expect_size() {
  [ -f "$1" ] || die "missing $1"
  [ "$(stat -c %s "$1")" -eq "$2" ] || die "$1 has $(stat -c %s "$1") bytes, $2 expected"
}

# new_run DIR SETTINGS... -- SCRIPT...: a run directory with its settings
# file and task script (plain ASCII, so already in the console code page).
new_run() {
  local dir=$1
  shift
  mkdir -p "$dir"
  : >"$dir/Quorvane.cfg"
  while [ "$1" != -- ]; do
    printf '%s\n' "$1" >>"$dir/Quorvane.cfg"
    shift
  done
  shift
  printf '%s\n' "$@" >"$dir/Quorvane.Qvr"
}

# A run that ends after one pass over its one block, with no pauses; exit
# code 3 tells that end from any other (a key ends a run with 0).
one_turn=("DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 1" "CODE_RETURN_CYCLE 3")

# ---------------------------------------------------------------- timing

# time_cycle RUN_DIR: runs the main cycle headless (standard input empty, the
# transcript into a file) and prints the cycle's wall seconds.
time_cycle() {
  local dir=$1
  rm -f "$dir/report"
  timeout -k 10 3600 "$driver" --report "$dir/report" "$dir" </dev/null \
    >"$dir/transcript.txt" 2>"$dir/driver.err" || die "the run in $dir failed: $(cat "$dir/driver.err")"
  field "$dir/report" wall_s
}

# time_cycle_on_screen RUN_DIR: the same, drawn in an 80 x 25 tmux pane of a
# tmux server of our own.
time_cycle_on_screen() {
  local dir=$1 sock=qv-bench-$$ waited=0
  rm -f "$dir/report"
  # The pane stays after the run (remain-on-exit), so its last screen can be kept.
  TERM=${TERM:-xterm} tmux -u -L "$sock" -f "$work/tmux.conf" new-session -d -x 80 -y 25 \
    "LC_ALL=C.UTF-8 '$driver' --report '$dir/report' '$dir' 2>'$dir/driver.err'" || die "tmux did not start"
  while [ "$(tmux -L "$sock" display-message -p '#{pane_dead}' 2>/dev/null)" != 1 ]; do
    sleep 0.2
    waited=$((waited + 1))
    [ $waited -lt 18000 ] || die "the run on screen took over an hour"
  done
  tmux -L "$sock" capture-pane -p >"$dir/screen.txt" 2>/dev/null || true
  tmux -L "$sock" kill-server >/dev/null 2>&1 || true
  [ -s "$dir/report" ] || die "the run on screen ended without a report: $(cat "$dir/driver.err")"
  rm -f "${TMUX_TMPDIR:-/tmp}/tmux-$(id -u)/$sock"
  field "$dir/report" wall_s
}

# timed COMMAND...: runs COMMAND (its output discarded) and prints its seconds.
timed() {
  local t0=$EPOCHREALTIME
  "$@" >/dev/null || die "failed: $*"
  secs "$t0" "$EPOCHREALTIME"
}

# The cycle's report must say that it found (and so dispatched) N files and
# that the cycle limit ended the run.
expect_found() {
  local found code
  found=$(field "$1/report" found)
  code=$(field "$1/report" exit)
  [ "$found" = "$2" ] && [ "$code" = 3 ] ||
    die "the run in $1 found $found files ($2 expected) and ended with $code (3 expected)"
}

# compare CASE TITLE TARGET SYSTEM_NAME BASE_NAME: times the functions
# sys_run and base_run alternately (which goes first alternates too), each
# after prep and followed by check, and prints and records the result.
# TARGET "-" only reports the ratio.
compare() {
  local id=$1 title=$2 target=$3 sys_name=$4 base_name=$5
  local sys_t=() base_t=() r t
  for ((r = 1; r <= runs; r++)); do
    local order=(sys base)
    [ $((r % 2)) -eq 1 ] || order=(base sys)
    for side in "${order[@]}"; do
      prep
      sync
      t=$("${side}_run")
      check "$side"
      if [ "$side" = sys ]; then sys_t+=("$t"); else base_t+=("$t"); fi
    done
  done
  local sm bm q v
  sm=$(median "${sys_t[@]}")
  bm=$(median "${base_t[@]}")
  q=$(ratio "$sm" "$bm")
  printf '%s  %s\n' "$id" "$title"
  printf '   %-28s %9.3f s   runs: %s\n' "$sys_name" "$sm" "${sys_t[*]}"
  printf '   %-28s %9.3f s   runs: %s\n' "$base_name" "$bm" "${base_t[*]}"
  if [ "$target" = - ]; then
    v=REPORT
    printf '   ratio %s (reported, no target)\n' "$q"
  else
    v=$(verdict "$q" "$target")
    printf '   ratio %s   target <= %s   %s\n' "$q" "$target" "$v"
  fi
  record "$id" "$v" "$q"
}

# ----------------------------------------------------------------- cases

case_A() {
  local n=$((quick ? 2000 : 10000)) d=$work/A
  new_run "$d" "${one_turn[@]}" -- "<PROGRAMM_PATH>/in" "Mask: *.dat" "<PROGRAMM_PATH>/out" "Command: DO"
  prep() { fresh "$d/in" "$n" 1024 f && fresh "$d/out"; }
  sys_run() { time_cycle "$d"; }
  base_run() { timed rsync -a --remove-source-files "$d/in/" "$d/out/"; }
  check() {
    expect_count "$d/in" 0 && expect_count "$d/out" "$n"
    [ "$1" = base ] || expect_found "$d" "$n"
  }
  compare A "$n files of 1 KiB moved to another directory, one file system, headless" 0.5 \
    "system" "rsync --remove-source-files"
}

case_B() {
  local n=$((quick ? 400 : 2000)) d=$work/B
  new_run "$d" "${one_turn[@]}" -- "<PROGRAMM_PATH>/in" "Mask: *.dat" \
    "<PROGRAMM_PATH>/o1" "<PROGRAMM_PATH>/o2" "<PROGRAMM_PATH>/o3" "Command: DO"
  prep() { fresh "$d/in" "$n" 65536 f && fresh "$d/o1" && fresh "$d/o2" && fresh "$d/o3"; }
  sys_run() { time_cycle "$d"; }
  base_run() {
    timed bash -c 'rsync -a --fsync "$1/in/" "$1/o1/" && rsync -a --fsync "$1/in/" "$1/o2/" &&
      rsync -a --fsync --remove-source-files "$1/in/" "$1/o3/"' rsync "$d"
  }
  check() {
    expect_count "$d/in" 0
    local o
    for o in o1 o2 o3; do expect_count "$d/$o" "$n"; done
    [ "$1" = base ] || expect_found "$d" "$n"
  }
  compare B "$n files of 64 KiB copied into two outputs, moved into a third, one file system, headless" 0.5 \
    "system" "rsync --fsync x3"
}

# The big file of C and D: made once, put back by a rename between runs.
big_mib() { echo $((quick ? 256 : 1024)); }

case_C() {
  local d=$work/C mib
  mib=$(big_mib)
  local size=$((mib * 1024 * 1024)) f=big0000000.dat
  new_run "$d" "${one_turn[@]}" -- "<PROGRAMM_PATH>/in" "Mask: *.dat" \
    "<PROGRAMM_PATH>/o1" "<PROGRAMM_PATH>/o2" "Command: DO"
  fresh "$d/in" 1 "$size" big
  fresh "$d/o1"
  fresh "$d/o2"
  local compared=0
  prep() {
    if [ -f "$d/o2/$f" ]; then mv "$d/o2/$f" "$d/in/$f"; fi
    rm -rf "$d/o1" "$d/o2"
    mkdir -p "$d/o1" "$d/o2"
    expect_size "$d/in/$f" "$size"
  }
  sys_run() { time_cycle "$d"; }
  base_run() {
    timed bash -c 'cp --reflink=never "$1/in/$2" "$1/o1/$2" && sync "$1/o1/$2" && mv "$1/in/$2" "$1/o2/$2"' \
      cp "$d" "$f"
  }
  check() {
    expect_count "$d/in" 0
    expect_size "$d/o1/$f" "$size"
    expect_size "$d/o2/$f" "$size"
    if [ "$1" = sys ] && [ $compared -eq 0 ]; then
      cmp -s "$d/o1/$f" "$d/o2/$f" || die "the copy differs from the moved file"
      compared=1
    fi
  }
  compare C "one $mib MiB file copied into one output, moved into a second, one file system" 1.1 \
    "system" "cp + sync + mv"
}

case_D() {
  local d=$work/D mib
  mib=$(big_mib)
  local size=$((mib * 1024 * 1024)) f=big0000000.dat
  new_run "$d" "${one_turn[@]}" -- "<PROGRAMM_PATH>/in" "Mask: *.dat" "<PROGRAMM_PATH>/out" "Command: DO"
  fresh "$d/in" 1 "$size" big
  fresh "$d/out"
  prep() {
    if [ -f "$d/out/$f" ]; then mv "$d/out/$f" "$d/in/$f"; fi
    expect_size "$d/in/$f" "$size"
  }
  sys_run() { time_cycle "$d"; }
  base_run() {
    timed bash -c 'cp --reflink=never "$1/in/$2" "$1/out/$2" && sync "$1/out/$2" && rm "$1/in/$2"' cp "$d" "$f"
  }
  check() { expect_count "$d/in" 0 && expect_size "$d/out/$f" "$size"; }
  compare D "one $mib MiB file moved to another directory, one file system" 0.05 \
    "system" "cp + sync + rm"
}

case_E() {
  local n=$((quick ? 2000 : 10000)) d=$work/E
  new_run "$d" "${one_turn[@]}" -- "<PROGRAMM_PATH>/in" "Mask: *.dat" "<PROGRAMM_PATH>/out" "Command: DO"
  printf 'set -g status off\nset -g remain-on-exit on\n' >"$work/tmux.conf"
  prep() { fresh "$d/in" "$n" 1024 f && fresh "$d/out"; }
  sys_run() { time_cycle_on_screen "$d"; }
  base_run() { time_cycle "$d"; }
  check() { expect_count "$d/in" 0 && expect_count "$d/out" "$n" && expect_found "$d" "$n"; }
  compare E "case A ($n files) drawn on the full screen of an 80 x 25 tmux pane" 1.1 \
    "system, full screen" "system, headless"
}

case_F() {
  local m=$((quick ? 200 : 1000)) d=$work/F
  local script=("$d/in" "Mask: *.dat" "$d/out" "Command: DO")
  new_run "$d/limit" "${one_turn[@]}" "MAX_OUTPUT_DIR_SIZE 2000000000" -- "${script[@]}"
  new_run "$d/free" "${one_turn[@]}" -- "${script[@]}"
  fresh "$d/out" 10000 1024 o
  prep() {
    fresh "$d/in" "$m" 1024 f
    find "$d/out" -mindepth 1 -maxdepth 1 \( -name 'f*' -o -type d \) -exec rm -rf {} +
  }
  sys_run() { time_cycle "$d/limit"; }
  base_run() { time_cycle "$d/free"; }
  check() {
    expect_count "$d/in" 0 && expect_count "$d/out" $((10000 + m))
    if [ "$1" = sys ]; then expect_found "$d/limit" "$m"; else expect_found "$d/free" "$m"; fi
  }
  compare F "$m candidates into an output directory of 10000 files, MAX_OUTPUT_DIR_SIZE set" - \
    "system, limit set" "system, no limit"
  # The guard reads metadata only: no file of the output directory is opened.
  prep
  sync
  strace -f --seccomp-bpf -qq -e trace=open,openat,openat2,creat,name_to_handle_at,open_by_handle_at \
    -o "$d/strace.log" "$driver" --report "$d/limit/report" "$d/limit" </dev/null \
    >"$d/limit/transcript.txt" 2>&1 || die "the traced run failed"
  check sys
  local opened seen
  # The candidates are opened by their dispatch: proof that the trace sees opens.
  seen=$(grep -cE '"([^"]*/)?f[0-9]{7}\.dat"' "$d/strace.log" || true)
  [ "$seen" -gt 0 ] || die "the trace shows no open of a candidate: it proves nothing"
  opened=$(grep -cE '"([^"]*/)?o[0-9]{7}\.dat"' "$d/strace.log" || true)
  if [ "$opened" -eq 0 ]; then
    printf '   strace: no file of the output directory opened during the run   PASS\n'
  else
    printf '   strace: %s opens of files of the output directory   FAIL\n' "$opened"
    grep -E '"([^"]*/)?o[0-9]{7}\.dat"' "$d/strace.log" | head -3 | sed 's/^/     /'
    record F FAIL "opens=$opened"
  fi
}

# S and P share one input directory of 100,000 files the mask never matches.
make_idle_input() {
  local d=$work/idle
  [ -d "$d/in" ] && return 0
  fresh "$d/in" 100000 0 w
  fresh "$d/out"
  sync
}

case_S() {
  make_idle_input
  local d=$work/S in=$work/idle/in
  new_run "$d" "${one_turn[@]}" -- "$in" "Mask: *.zzz" "$work/idle/out" "Command: DO"
  find "$in" -name '*.zzz' >/dev/null  # both read a warm directory
  prep() { :; }
  sys_run() { time_cycle "$d"; }
  base_run() { timed find "$in" -name '*.zzz'; }
  check() { [ "$1" = base ] || expect_found "$d" 0; }
  compare S "one turn over an input directory of 100000 files that the mask does not match" 1.0 \
    "system" "find -name"
}

case_P() {
  make_idle_input
  local d=$work/P seconds=$((quick ? 15 : 60)) n=$((quick ? 1 : 3)) r shares=() walls=() cpus=()
  new_run "$d" "DELAY_COPY 0" "NUMBER_TIME_WORK $seconds" -- \
    "$work/idle/in" "Mask: *.zzz" "$work/idle/out" "Command: DO"
  for ((r = 1; r <= n; r++)); do
    time_cycle "$d" >/dev/null
    walls+=("$(field "$d/report" wall_s)")
    cpus+=("$(field "$d/report" cpu_s)")
    shares+=("$(ratio "${cpus[-1]}" "${walls[-1]}")")
  done
  local share
  share=$(median "${shares[@]}")
  printf 'P  %s s of polling 100000 non-matching files at the default DELAY_INTERPR\n' "$seconds"
  printf '   wall s: %s   CPU s: %s\n' "${walls[*]}" "${cpus[*]}"
  printf '   share of one core: %s (median of %s)\n' "$share" "$n"
  record P REPORT "$share"
}

case_M() {
  local d=$work/M key_after=$((quick ? 10 : 20)) n=$((quick ? 1 : 3)) r peaks=()
  new_run "$d" "DELAY_INTERPR 0" "DELAY_COPY 0" -- "<PROGRAMM_PATH>/in" "Mask: *.dat" \
    "<PROGRAMM_PATH>/out" "Command: DO"
  cp "$build/quorvane" "$d/quorvane"
  printf 'M  peak resident size of the program (GNU time, whole process) with 1000000 files waiting\n'
  fresh "$d/in" 1000000 0 m
  fresh "$d/out"
  sync
  for ((r = 1; r <= n; r++)); do
    # Headless, a byte on standard input is a key: it ends the run while
    # most of the files still wait.
    { trap '' PIPE; sleep "$key_after"; echo || true; } 2>/dev/null | /usr/bin/time -f %M -o "$d/rss" "$d/quorvane" \
      >"$d/transcript.txt" 2>/dev/null || die "the program failed: $(tail -3 "$d/transcript.txt")"
    local moved
    moved=$(find "$d/out" -maxdepth 1 -type f | wc -l)
    [ "$moved" -gt 0 ] || die "the program moved nothing in $key_after s"
    peaks+=("$(tail -n 1 "$d/rss")")
    printf '   run %s: %s files moved, peak %s KiB\n' "$r" "$moved" "${peaks[-1]}"
    find "$d/out" -maxdepth 1 -type f -exec mv -t "$d/in" {} +
    expect_count "$d/in" 1000000
  done
  local peak
  peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n 1)
  local mib v
  mib=$(awk -v k="$peak" 'BEGIN { printf "%.2f", k / 1024 }')
  v=$(verdict "$peak" 4096)
  printf '   %s MiB (largest of %s runs)   target <= 4 MiB   %s\n' "$mib" "$n" "$v"
  record M "$v" "${mib}MiB"
}

# ------------------------------------------------------------------ main

for c in "${cases[@]}"; do
  case "$c" in
    A | B) need rsync ;;
    E) need tmux ;;
    F) need strace ;;
    M) [ -x /usr/bin/time ] || die "GNU time (/usr/bin/time) is not installed" ;;
  esac
done
need cmake ninja
# tmux and the tools' quiet output need the real null device.
[ -c /dev/null ] || die "/dev/null is not the null device"

started=$SECONDS
echo "building the release build in $build"
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
# Release at -O2: g++ 12 at -O3 warns falsely (-Wrestrict) inside std::string,
# and the project builds with warnings as errors.
mkdir -p "$build"
{ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DQV_TESTS=OFF &&
  ninja -C "$build" -j "${QV_JOBS:-2}" quorvane cycle_bench; } >"$build/bench-build.log" 2>&1 ||
  { tail -n 30 "$build/bench-build.log" >&2; die "the build failed (log: $build/bench-build.log)"; }
driver=$build/cycle_bench
echo "built in $((SECONDS - started)) s"

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/var/tmp}}/qv-bench.XXXXXX")
cleanup() { [ "${KEEP:-0}" = 1 ] && echo "data kept in $work" || rm -rf "$work"; }
trap cleanup EXIT

form=full
[ $quick -eq 0 ] || form=quick
[ "$runs" -ge 5 ] || echo "fewer than 5 runs a side: a smoke check, not a measurement"
echo "form: $form, $runs runs a side; data on $(df --output=fstype "$work" | tail -n 1); $(nproc) cores;" \
  "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
for c in "${cases[@]}"; do
  "case_$c"
  echo
done

line=$(printf '%s, ' "${summary[@]}")
echo "summary ($form, $runs runs, load $(cut -d' ' -f1-3 /proc/loadavg), $((SECONDS - started)) s):" \
  "${line%, }; $passed PASS, $failed FAIL, $reported reported"
