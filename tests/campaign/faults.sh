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
. "$(dirname "$0")/lib.sh"

# The calls faults are put on.
SYSCALLS=(renameat2 renameat rename linkat link unlinkat unlink rmdir mkdirat mkdir openat write
  pwrite64 copy_file_range sendfile fsync fdatasync fchmod fchmodat chmod utimensat ftruncate
  fallocate fcntl)
# The short form: "LAYOUT KIND SYSCALL..." each gives one case, at the middle
# call of the first SYSCALL the program makes.
SHORT=("onefs kill renameat2" "onefs kill linkat unlinkat unlink" "twofs kill copy_file_range write"
  "twofs kill unlinkat unlink" "twofs ENOSPC copy_file_range write" "onefs EIO fsync fdatasync"
  "onefs EACCES renameat2 linkat openat")
FILES=(a.txt ro.dat big.bin empty.txt)

# setup_layout DIR LAYOUT: input, outputs, files and the program in DIR; the
# manifest of the files sent (name sha mode mtime) in DIR/manifest and the
# files that were in an output before (area/path sha) in DIR/before.
setup_layout() {
  local dir=$1 layout=$2
  mkdir -p "$dir/qvinbox" "$dir/o1"
  if [ "$layout" = twofs ]; then
    camp_tmpfs "$dir/t" 32m
    mkdir -p "$dir/t/o2"
    ln -s t/o2 "$dir/o2"
  else
    mkdir -p "$dir/o2"
  fi
  printf 'alpha\n' >"$dir/qvinbox/a.txt"
  head -c 102400 /dev/urandom >"$dir/qvinbox/ro.dat"
  head -c 3145728 /dev/urandom >"$dir/qvinbox/big.bin"
  : >"$dir/qvinbox/empty.txt"
  chmod 444 "$dir/qvinbox/ro.dat"
  chmod 600 "$dir/qvinbox/empty.txt"
  camp_age "$dir"/qvinbox/*
  printf 'an older a.txt\n' >"$dir/o1/a.txt" # sends the copy of a.txt into o1/COPY
  (cd "$dir/qvinbox" && for n in "${FILES[@]}"; do
    echo "$n $(camp_sha "$n") $(stat -c '%a %.9Y' "$n")"
  done) >"$dir/manifest"
  echo "o1/a.txt $(camp_sha "$dir/o1/a.txt")" >"$dir/before"
  camp_program "$dir/p"
  camp_qvr "$dir/p" "$dir/qvinbox" "Mask: *.*" "$dir/o1" "$dir/$(readlink "$dir/o2" || echo o2)" \
    "Command: DO"
}

settings() {
  camp_cfg "$1/p" "DELAY_INTERPR 0" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN $2" "CODE_RETURN_CYCLE 17"
}

# windows TRACE: for each call of SYSCALLS, the numbers of its calls in the
# main thread from the first touch of the input directory up to the exit
# message, one "SYSCALL N" a line.
windows() {
  awk -v list="${SYSCALLS[*]}" '
    BEGIN { n = split(list, l, " "); for (i = 1; i <= n; i++) wanted[l[i]] = 1 }
    NR == 1 { main = $1 }
    $1 != main { next }
    {
      rest = $0; sub(/^[0-9]+ +/, "", rest)
      if (rest ~ /^(<\.\.\.|\+\+\+|---)/) next
      name = rest; sub(/\(.*/, "", name)
      count[name]++
      if (!started && name != "read" && name != "write" && index(rest, "qvinbox")) {
        started = 1
        for (s in count) first[s] = count[s] + 1
        first[name] = count[name]
      }
      if (started && name == "write" && index(rest, "Exit by amount")) {
        for (s in wanted) if (count[s] >= first[s] + (s == "write")) {
          last = count[s] - (s == "write")
          for (k = (first[s] ? first[s] : 1); k <= last; k++) print s, k
        }
        exit
      }
    }' "$1"
}

plan() {
  local layout=$1 form=$2 s e line
  camp_workdir
  setup_layout "$W" "$layout"
  settings "$W" 1
  camp_run "$W/p" 120 strace -f -qq -o "$W/trace" --
  [ "$CAMP_EXIT" = 17 ] || { echo "FAIL plan $layout: the run without faults ended with $CAMP_EXIT" >&2; exit 1; }
  windows "$W/trace" >"$W/calls"
  [ -s "$W/calls" ] || { echo "FAIL plan $layout: no calls found in the trace" >&2; exit 1; }
  if [ "$form" = long ]; then
    for e in kill ENOSPC EIO EACCES; do sed "s/^/$layout $e /" "$W/calls"; done
    return
  fi
  local entry kind
  for entry in "${SHORT[@]}"; do
    set -- $entry
    [ "$1" = "$layout" ] || continue
    kind=$2
    shift 2
    for s; do
      line=$(awk -v s="$s" '$1 == s { n[++c] = $2 } END { if (c) print s, n[int((c + 1) / 2)] }' "$W/calls")
      [ -n "$line" ] && echo "$layout $kind $line" && break
    done
  done
}

# inventory DIR: every regular file of the input and the outputs:
# "area inflight relpath name sha mode mtime".
inventory() {
  local area f rel
  for area in qvinbox o1 o2; do
    (cd "$1/$area/" && find . -type f -printf '%P\n') | while IFS= read -r rel; do
      f=$1/$area/$rel
      case "/$rel" in */.~qv*) inflight=1 ;; *) inflight=0 ;; esac
      echo "$area $inflight $rel ${rel##*/} $(camp_sha "$f") $(stat -c '%a %.9Y' "$f")"
    done
  done
}

# judge DIR PHASE: figures of the state (PHASE crash: right after the run with
# the fault; final: after the clean run), as "name=value" words.
judge() {
  inventory "$1" >"$1/inventory.$2"
  awk -v phase="$2" '
    FILENAME ~ /manifest$/ { sha[$1] = $2; mode[$1] = $3; mtime[$1] = $4; names[$1] = 1; next }
    FILENAME ~ /before$/ { before[$1] = $2; next }
    {
      area = $1; rel = $3; name = $4; s = $5; m = $6; t = $7
      if ($2 == 1) { inflight_sha[s] = 1; leftovers++; next }
      if ((area "/" rel) in before && before[area "/" rel] == s) next
      if (!(name in names) || s != sha[name]) { partial++; print "partial: " area "/" rel > "/dev/stderr"; next }
      if (area == "qvinbox" && rel == name) {
        kept[name] = 1
        if (m != mode[name] || t != mtime[name]) { changed++; print "changed: " name " " m " " t > "/dev/stderr" }
        next
      }
      if (area == "qvinbox") { partial++; print "stray: " area "/" rel > "/dev/stderr"; next }
      if (m != mode[name] || t != mtime[name]) { unstamped++; print "unstamped: " area "/" rel " " m " " t > "/dev/stderr" }
      seen[name, area]++
    }
    END {
      for (n in names) {
        if (n in kept) {
          if (phase == "final") { stuck++; print "stuck: " n > "/dev/stderr" }
          continue
        }
        if (seen[n, "o1"] >= 1 && seen[n, "o2"] >= 1) { dup += seen[n, "o1"] - 1 + seen[n, "o2"] - 1; continue }
        if (sha[n] in inflight_sha) {
          if (phase == "final") { hidden++; print "hidden: " n > "/dev/stderr" }
          continue
        }
        if (seen[n, "o1"] + seen[n, "o2"] > 0) { undelivered++; print "undelivered: " n > "/dev/stderr"; continue }
        lost++; print "lost: " n > "/dev/stderr"
      }
      printf "lost=%d undelivered=%d partial=%d hidden=%d changed=%d unstamped=%d stuck=%d dup=%d leftovers=%d\n",
        lost, undelivered, partial, hidden, changed, unstamped, stuck, dup, leftovers
    }' "$1/manifest" "$1/before" "$1/inventory.$2"
}

# reports DIR: after a failed call, "false_success=N unreported=N": files
# still in the input directory that a report calls sent, and a run that kept
# files without reporting any failure (unless the call failed was the one
# that opens a directory on the way to the input directory, which a search
# takes as an empty directory without a word).
reports() {
  local dir=$1 n false=0 unreported=0 kept=0 failures
  for n in "${FILES[@]}"; do
    [ -f "$dir/qvinbox/$n" ] || continue
    kept=$((kept + 1))
    grep -qF -e "/$n *=> " -e "/$n O=> " "$dir/p/out.txt" && false=$((false + 1))
  done
  # The lines the run wrote between the start-up hint and the exit message:
  # any that is not a success, a name clash or a new directory reports a
  # failure (as does one that ends in !!!, should a success follow on it).
  failures=$(awk '/\/\? - for Display help/ { on = 1; next }
      on { i = index($0, "Exit by amount"); if (i) { print substr($0, 1, i - 1); exit } print }' \
      "$dir/p/out.txt" |
    awk '/!!!/ || !(/ \*=> | O=> | already exist|Is successfully created|^ *$/)' | grep -c .)
  if [ "$kept" -gt 0 ] && [ "$failures" = 0 ] && ! on_input_path "$dir"; then unreported=1; fi
  echo "false_success=$false unreported=$unreported"
}

# on_input_path DIR: the failed call opened the input directory or one on the
# way to it, or set the descriptor flags of one: a search takes that as an
# empty directory and says nothing.
on_input_path() {
  local line target path=$1/qvinbox
  line=$(grep -m 1 '(INJECTED)' "$1/strace") || return 1
  case "$line" in
    *" openat("*O_DIRECTORY* | *" openat("*O_PATH*) target=$(sed -E 's/^[^"]*"([^"]*)".*/\1/' <<<"$line") ;;
    *" fcntl("*F_[GS]ETF[LD]*) target=$(sed -E 's/^[^<]*<([^>]*)>.*/\1/' <<<"$line") ;;
    *) return 1 ;;
  esac
  target=${target%/}
  [ -n "$target" ] || return 0 # the root
  [[ "$path/" == "$target/"* ]] && return 0
  [[ $target != */* && "$path/" == *"/$target/"* ]]
}

run_case() {
  local layout=$1 kind=$2 syscall=$3 n=$4 inject fired hang=0 crash final rep=""
  CAMP_CASE="fault-$layout-$kind-$syscall-$n"
  camp_workdir
  setup_layout "$W" "$layout"
  if [ "$kind" = kill ]; then inject="signal=SIGKILL"; else inject="error=$kind"; fi
  settings "$W" 1
  camp_run "$W/p" 90 strace -f -qq -y -o "$W/strace" -e trace="$syscall" \
    -e inject="$syscall:$inject:when=$n" --
  [ "$CAMP_HUNG" = 0 ] || hang=1
  if grep -qE '\(INJECTED\)|killed by SIGKILL' "$W/strace"; then fired=1; else fired=0; fi
  camp_transcript_has "$W/p" "The Help:" ||
    camp_fail "the program did not start under strace: $(head -c 300 "$W/p/err.txt")"
  crash=$(judge "$W" crash 2>"$W/why.crash")
  [ "$kind" = kill ] || rep=$(reports "$W")
  cp "$W/p/out.txt" "$W/p/out.faulted.txt"
  settings "$W" 2
  camp_run "$W/p" 90
  [ "$CAMP_HUNG" = 0 ] || hang=1
  final=$(judge "$W" final 2>"$W/why.final")
  # Partial files and changed sources count at either moment, the rest after
  # the clean run.
  local key a b
  for key in partial changed; do
    a=$(grep -o "$key=[0-9]*" <<<"$crash" | cut -d= -f2)
    b=$(grep -o "$key=[0-9]*" <<<"$final" | cut -d= -f2)
    [ "$a" -le "$b" ] || final=${final/$key=$b/$key=$a}
  done
  echo "RESULT layout=$layout kind=$kind syscall=$syscall n=$n fired=$fired hang=$hang $final ${rep:-false_success=0 unreported=0}"
  local bad
  bad=$(grep -oE '(lost|undelivered|partial|hidden|changed|unstamped|stuck|false_success|unreported|hang)=[1-9][0-9]*' \
    <<<"RESULT hang=$hang $final $rep" | tr '\n' ' ')
  if [ -n "$bad" ]; then
    camp_fail "$bad $(cat "$W/why.crash" "$W/why.final" | sort -u | tr '\n' ';')"
  fi
  camp_finish
}

camp_need_root
command -v strace >/dev/null || { echo "FAIL faults: strace is missing" >&2; exit 2; }
case "${1:-}" in
  plan) plan "$2" "$3" ;;
  run) run_case "$2" "$3" "$4" "$5" ;;
  *)
    echo "usage: $0 plan onefs|twofs short|long | run LAYOUT KIND SYSCALL N" >&2
    exit 2
    ;;
esac
