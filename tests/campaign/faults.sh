#!/usr/bin/env bash
# Faults at the system calls that change files, during copies and moves, on
# one file system (onefs) and across two (twofs: the move output on a tmpfs).
#
#   faults.sh plan LAYOUT short|long   lists the fault cases, one "LAYOUT KIND
#                                      SYSCALL N" a line, from a run traced
#                                      without faults
#   faults.sh run LAYOUT KIND SYSCALL N
#                                      one case: the program runs one pass with
#                                      the N-th call of SYSCALL (counted in the
#                                      main thread from the start) killed
#                                      (KIND kill) or failed with KIND (ENOSPC,
#                                      EIO, EACCES), then once more without
#                                      faults; prints a RESULT line of figures
#                                      and PASS or FAIL
#
# What must hold: every file is whole in its input directory (untouched:
# content, mode and time) or in every output with its mode and time (a second
# copy made by the CREATE_DIR policy after a crash is allowed and counted); no
# file under a final name is partial or foreign; nothing stays hidden under a
# name in flight once a run without faults has been; after the clean run
# every file has been delivered. After a failed call: a file kept is reported
# as failed, never as sent.
QV_CASE=fault-${2:-}-${3:-}-${4:-}-${5:-}
. "$(dirname "$0")/lib.sh"

# The calls faults are put on.
SYSCALLS="renameat2 renameat rename linkat link unlinkat unlink rmdir mkdirat mkdir openat write
  pwrite64 copy_file_range sendfile fsync fdatasync sync_file_range syncfs fchmod fchmodat chmod
  utimensat ftruncate fallocate fcntl"
# The short form: "LAYOUT KIND SYSCALL..." each gives one case, at the middle
# call of the first SYSCALL the program makes.
SHORT=("onefs kill renameat2" "onefs kill linkat unlinkat unlink" "twofs kill copy_file_range write"
  "twofs kill unlinkat unlink" "twofs ENOSPC copy_file_range write" "onefs EIO fsync fdatasync"
  "onefs EIO syncfs" "onefs EACCES renameat2 linkat openat")
# Names of 250 and 254 bytes on disk (Cyrillic letters, two bytes each in
# UTF-8): no name in flight may be derived from a file's name and overflow the
# file system's name limit.
FILES=(a.txt ro.dat big.bin empty.txt "$(printf 'Ж%.0s' {1..123}).txt" "$(printf 'Д%.0s' {1..125}).txt")

# inventory FILE AREA...: every file under the AREAs of W, one "AREA/PATH SHA
# MODE MTIME" a line, in W/FILE.
inventory() {
  (cd "$W" && find "${@:2}" -type f -exec sh -c 'for f; do
    echo "$f $(sha256sum <"$f" | cut -c1-64) $(stat -c "%a %.9Y" "$f")"; done' _ {} +) >"$W/$1"
}

# setup LAYOUT: input, outputs, files and the program in W; the files sent in
# W/manifest and the file that was in an output before in W/before.
setup() {
  mkdir -p "$W/qvinbox" "$W/o1" "$W/o2"
  [ "$1" = onefs ] || camp_mount "$W/o2" -t tmpfs -o size=32m,mode=0755 tmpfs
  cd "$W/qvinbox" || qv_die "cannot set up the case"
  printf 'alpha\n' >a.txt && head -c 102400 /dev/urandom >ro.dat && head -c 3145728 /dev/urandom >big.bin
  : >empty.txt && echo 4 >"${FILES[4]}" && echo 5 >"${FILES[5]}"
  chmod 444 ro.dat && chmod 600 empty.txt && camp_age "${FILES[@]}" && inventory manifest qvinbox
  printf 'an older a.txt\n' >"$W/o1/a.txt" && inventory before o1 # sends the copy of a.txt into o1/COPY
  camp_program "$W/p" 0
  qv_qvr "$W/qvinbox" "Mask: *.*" "$W/o1" "$W/o2" "Command: DO"
}
passes() { qv_cfg "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN $1" "CODE_RETURN_CYCLE 17"; }

# windows TRACE: for each call of SYSCALLS, the numbers of its calls in the
# main thread from the first touch of the input directory up to the exit
# message, one "SYSCALL N" a line.
windows() {
  awk -v list="$SYSCALLS" '
    BEGIN { n = split(list, l); for (i = 1; i <= n; i++) wanted[l[i]] = 1 }
    NR == 1 { main = $1 }
    $1 != main || $2 ~ /^(<\.\.\.|\+\+\+|---)/ { next }
    {
      name = $2; sub(/\(.*/, "", name)
      count[name]++
      if (!started && name != "read" && name != "write" && index($0, "qvinbox")) {
        started = 1
        for (s in count) before[s] = count[s] - (s == name)
      }
      if (started && name == "write" && index($0, "Exit by amount")) {
        for (s in wanted) for (k = before[s] + 1; k <= count[s] - (s == "write"); k++) print s, k
        exit
      }
    }' "$1"
}

plan() {
  local entry s
  setup "$1"
  passes 1
  QV_TIMEOUT=120 qv_run strace -f -qq -o "$W/trace" --
  [ "$QV_EXIT" = 17 ] || qv_die "plan $1: the run without faults ended with $QV_EXIT"
  windows "$W/trace" >"$W/calls"
  [ -s "$W/calls" ] || qv_die "plan $1: no calls found in the trace"
  if [ "$2" = long ]; then
    for s in kill ENOSPC EIO EACCES; do sed "s/^/$1 $s /" "$W/calls" >&3; done
    return
  fi
  for entry in "${SHORT[@]}"; do
    [[ $entry == "$1 "* ]] && awk -v e="$entry" '{ k[$1, ++c[$1]] = $2 } END {
      for (i = 3; i <= split(e, w); i++) if (c[w[i]]) { print w[1], w[2], w[i], k[w[i], int((c[w[i]] + 1) / 2)]; exit } }' \
      "$W/calls" >&3
  done
}

# judge: figures of the state right after the run with the fault (partial
# files and changed sources) and after the clean run (the rest), as
# "name=value" words; why, on stderr.
judge() {
  awk '
    function why(what, n) { print what ": " n > "/dev/stderr"; return 1 }
    FNR == 1 { final = FILENAME ~ /final$/ }
    { area = $1; sub(/\/.*/, "", area); name = $1; sub(/.*\//, "", name) }
    FILENAME ~ /manifest$/ { sha[name] = $2; stamp[name] = $3 " " $4; next }
    FILENAME ~ /before$/ { before[$1] = $2; next }
    $1 ~ /\/\.~qv/ { if (final) { inflight[$2] = 1; leftovers++ } next }
    before[$1] == $2 { next }
    $2 != sha[name] || (area == "qvinbox" && $1 != (area "/" name)) { partial[$1] = why("partial", $1); next }
    ($3 " " $4) != stamp[name] {
      if (area == "qvinbox") changed[name] = why("changed", name); else if (final) unstamped += why("unstamped", $1)
    }
    !final { next }
    area == "qvinbox" { kept[name] = 1; next }
    { seen[name, area]++ }
    END {
      for (n in sha) {
        if (n in kept) stuck += why("stuck", n)
        else if (seen[n, "o1"] && seen[n, "o2"]) dup += seen[n, "o1"] + seen[n, "o2"] - 2
        else if (sha[n] in inflight) hidden += why("hidden", n)
        else if (seen[n, "o1"] + seen[n, "o2"]) undelivered += why("undelivered", n)
        else lost += why("lost", n)
      }
      printf "lost=%d undelivered=%d partial=%d hidden=%d changed=%d unstamped=%d stuck=%d dup=%d leftovers=%d\n",
        lost, undelivered, length(partial), hidden, length(changed), unstamped, stuck, dup, leftovers
    }' "$W/manifest" "$W/before" "$W/crash" "$W/final"
}

# reports: after a failed call, "false_success=N unreported=N": files still
# in the input directory that a report calls sent, and a run that kept files
# without reporting any failure (unless the call failed was the one that
# opens a directory on the way to the input directory, which a search takes
# as an empty directory without a word).
reports() {
  local n false=0 kept=0 failures
  for n in "${FILES[@]}"; do
    [ -f "$W/qvinbox/$n" ] && kept=$((kept + 1)) && grep -qF -e "/$n *=> " -e "/$n O=> " "$W/p/out.txt" &&
      false=$((false + 1))
  done
  # The lines the run wrote between the start-up hint and the exit message:
  # any that is not a success, a name clash or a new directory reports a
  # failure (as does one that ends in !!!, should a success follow on it).
  failures=$(awk '/\/\? - for Display help/ { on = 1; next }
      on { i = index($0, "Exit by amount"); if (i) { print substr($0, 1, i - 1); exit } print }' \
    "$W/p/out.txt" | awk '/!!!/ || !(/ \*=> | O=> | already exist|Is successfully created|^ *$/)' | grep -c .)
  echo "false_success=$false unreported=$([ "$kept" -gt 0 ] && [ "$failures" = 0 ] && ! on_input_path && echo 1 || echo 0)"
}

# on_input_path: the failed call opened the input directory or one on the way
# to it, or set the descriptor flags of one.
on_input_path() {
  local t
  t=$(grep -m 1 '(INJECTED)' "$W/strace" | sed -nE 's/.* openat\([^"]*"([^"]*)".*O_(DIRECTORY|PATH).*/=\1/p
    s/.* fcntl\([^<]*<([^>]*)>.*F_[GS]ETF[LD].*/=\1/p') && [ -n "$t" ] || return 1
  t=${t#=} && t=${t%/}
  [[ -z $t || "$W/qvinbox/" == "$t/"* || ($t != */* && "$W/qvinbox/" == *"/$t/"*) ]]
}

run_case() {
  local layout=$1 kind=$2 call=$3 n=$4 inject=error=$2 fired=0 rep figures
  [ "$kind" != kill ] || inject=signal=SIGKILL
  setup "$layout"
  passes 1
  QV_TIMEOUT=90 qv_run strace -f -qq -y -o "$W/strace" -e trace="$call" -e inject="$call:$inject:when=$n" --
  grep -qE '\(INJECTED\)|killed by SIGKILL' "$W/strace" && fired=1
  qv_says "The Help:" || qv_fail "the program did not start under strace: $(head -c 300 "$W/p/err.txt")"
  inventory crash qvinbox o1 o2
  [ "$kind" = kill ] && rep="false_success=0 unreported=0" || rep=$(reports)
  passes 2
  QV_TIMEOUT=90 qv_run
  inventory final qvinbox o1 o2
  figures="$(judge 2>"$W/why") $rep"
  echo "RESULT layout=$layout kind=$kind syscall=$call n=$n fired=$fired $figures"
  ! grep -qE '(lost|undelivered|partial|hidden|changed|unstamped|stuck|false_success|unreported)=[1-9]' <<<"$figures" ||
    qv_fail "$figures $(sort -u "$W/why" | tr '\n' ';')"
}

case "${1:-}" in
  plan) exec 3>&1 >&2 && plan "$2" "$3" ;; # only the cases on standard output
  run) run_case "$2" "$3" "$4" "$5" ;;
  *) qv_die "usage: $0 plan onefs|twofs short|long | run LAYOUT KIND SYSCALL N" ;;
esac
