#!/usr/bin/env bash
# Hostile input: an unprivileged account writes into the drop directory and
# into an output directory of the program, which runs as root.
#
#   hostile.sh names   names that are paths (\, :, ..), control bytes, links
#                      (one to /), FIFOs, sockets, devices, hard links, mode
#                      000, files and directories swapped for links in a loop,
#                      names that look like files in flight
#   hostile.sh locks   the program's lock files and its lock directory planted
#                      and held by the attacker; its own locks held by another
#                      process of root's, which holds up neither the run-time
#                      limit nor a stop request
#   hostile.sh swaps   the output directory (and its COPY level) swapped for
#                      links to root-only directories in a loop; a link to one
#                      planted on the way to an output directory
#
# Whatever the attacker does: nothing outside the input directories is read
# (the secrets of root-only files never show up anywhere the attacker can
# look), nothing outside the output directories is written (root-only
# directories stay exactly as they were), no run hangs, and the attacker's
# ordinary files are still sent or still there. Prints a failure per case the
# attack got through, a RESULT line and PASS or FAIL.
QV_CASE=hostile-${1:-}
. "$(dirname "$0")/lib.sh"
TRIED=0 ESCAPED=0

# checks: the cases of a table on standard input, "CASE|DETAIL|TEST" a line;
# a case holds when the shell condition TEST does.
checks() {
  local name detail test
  while IFS='|' read -r name detail test; do
    TRIED=$((TRIED + 1))
    eval "$test" || { ESCAPED=$((ESCAPED + 1)) && qv_fail "$name escaped: $detail"; }
  done
}

# The root side: a tmpfs (so that nothing read from a device can fill a real
# disk) with secrets, root-only directories and the program; the attacker's
# drop directory, a public directory and one of its own.
setup() {
  H=$W/h
  camp_mount "$H" -t tmpfs -o size=64m,mode=0755 tmpfs
  SECRETS=()
  mkdir -p "$H/vault/inner" "$H/rootonly" "$H/pubroot" "$H/drop" "$H/out" "$H/pub/o" "$H/att" "$H/drop2" "$H/pub2"
  for f in vault/secret.txt vault/inner/secret2.txt rootonly/keep.txt; do
    SECRETS+=("$(head -c 16 /dev/urandom | sha256sum | cut -c1-32)")
    echo "secret ${SECRETS[-1]}" >"$H/$f" && chmod 600 "$H/$f"
  done
  chmod 700 "$H/vault" "$H/rootonly"
  echo foreign >"$H/pubroot/foreign.txt" && chmod 444 "$H/pubroot/foreign.txt" && camp_age "$H/pubroot/foreign.txt"
  chown "$QV_UID:$QV_GID" "$H/drop" "$H/pub" "$H/pub/o" "$H/att" "$H/drop2" "$H/pub2"
  camp_program "$H/prog" 0 "DELAY_INTERPR 100" "DELAY_COPY 0" "VALID_CYCLE_FULL_RUN 2" \
    "CODE_RETURN_CYCLE 17" "$@"
  chmod 1777 "$H/prog/tmp" # a shared temporary directory, as /tmp is
  VAULT=$(camp_snapshot "$H/vault") ROOTONLY=$(camp_snapshot "$H/rootonly") PUBROOT=$(loose_snapshot "$H/pubroot")
}

# Without change times: a rename of a hard link elsewhere changes the ctime
# of the file, not the file.
loose_snapshot() { camp_snapshot "$1" | awk '{ $7 = ""; print }'; }
as_attacker() { "${QV_AS_USER[@]}" env -i PATH=/usr/bin:/bin H="$H" bash -c "$1"; }
attacker_bg() { camp_bg "${QV_AS_USER[@]}" env -i PATH=/usr/bin:/bin H="$H" bash -c "$(declare -f "$1"); $*"; }

# No secret is anywhere outside its root-only directory: not in a file the
# program wrote or moved, not in its transcript.
secrets_stay() { ! grep -rqaF -D skip --exclude-dir=vault --exclude-dir=rootonly "${SECRETS[@]/#/-e}" "$H"; }
root_dirs_unchanged() { [ "$(camp_snapshot "$H/vault")" = "$VAULT" ] && [ "$(camp_snapshot "$H/rootonly")" = "$ROOTONLY" ]; }

# no_output_named NAME...: no entry of that name below an output.
no_output_named() { ! grep -qxF -f <(printf '%s\n' "$@") < <(find "${OUTPUTS[@]}" -printf '%f\n' 2>/dev/null); }

# The attacker's ordinary files: NAME.txt holds the line NAME.
# delivered NAME...: each is a regular file in every output.
delivered() {
  local o n
  for n; do
    for o in "${OUTPUTS[@]}"; do [ "$(cat "$o/$n.txt" 2>/dev/null)" = "$n" ] || return 1; done
  done
}

# kept_or_sent DIR NAME...: each is still in DIR, or in an output.
kept_or_sent() {
  local n
  for n in "${@:2}"; do
    [ "$(cat "$1/$n.txt" 2>/dev/null)" = "$n" ] ||
      grep -qxF -- "$n" < <(find "${OUTPUTS[@]}" -type f -name "$n.txt" -exec cat {} + 2>/dev/null) || return 1
  done
}

# --- names ---

# in_drop TEST NAME...: each NAME is still in the drop as TEST says (-L link,
# -p FIFO, -S socket, -c device).
in_drop() {
  local n
  for n in "${@:2}"; do test "$1" "$H/drop/$n" || return 1; done
}

make_names() {
  local n
  cd "$H/drop" || exit 1
  mkdir x && ln -s / lnk
  # Names that are paths, or that would forge a line of the transcript; then
  # links (names in flight planted in the drop and in the public output too).
  for n in 'x\..\..\vault\secret.txt' "lnk${H//\//\\}\\vault\\inner\\secret2.txt" 'a:b.txt' 'c:\x.txt' \
    $'nl\nFORGED Exit by amount cycles of perfomance files configuration 9.txt' $'esc\e[2J\e[31mred\x7f.txt' \
    $'bel\a.txt' $'cr\rFORGED over the line.txt'; do printf 'decoy\n' >"$n"; done
  for n in ln_secret.txt:"$H/vault/secret.txt" ln_rel.txt:../vault/inner/secret2.txt ln_dir.txt:"$H/vault" \
    ln_root.txt:"$H/rootonly/keep.txt" ln_dangling.txt:"$H/vault/nothing.txt" .~qvP1:"$H/vault/secret.txt" \
    "$H/pub/o/.~qv0~ok1.txt:$H/rootonly/planted.txt" "$H/pub/o/.~qvP0:$H/rootonly/planted2" \
    "$H/pub/o/.~qvT0:$H/rootonly"; do
    ln -s "${n#*:}" "${n%%:*}"
  done
  mkfifo fifo.txt
  perl -MIO::Socket::UNIX -e 'IO::Socket::UNIX->new(Local => $ARGV[0], Listen => 1) or die "$!"' sock.txt
  ln "$H/vault/secret.txt" hl_secret.txt 2>/dev/null && echo "linked to a root-only file" >&2
  ln "$H/pubroot/foreign.txt" hl_foreign.txt 2>/dev/null && echo "linked to a foreign file" >&2
  printf 'm000\n' >m000.txt && chmod 000 m000.txt
  mkdir d000 && printf 'inside\n' >d000/f.txt && chmod 000 d000
  mkdir .~qvT1 && printf 'held\n' >.~qvT1/held.txt && ln -s "$H/vault/secret.txt" .~qvT1/link.txt
  printf 'p2\n' >.~qvP2 && printf 'ok1\n' >ok1.txt && printf 'ok2\n' >ok2.txt
}

# Swaps a file and a directory of the drop for links to the vault, forever
# (made in a directory of the attacker's, then renamed in).
swap_files() {
  local a=$H/att d=$H/drop
  while :; do
    printf 'swap-regular\n' >"$a/swap" && mv -f "$a/swap" "$d/swap.txt"
    mkdir -p "$a/dir" && printf 'swap-regular\n' >"$a/dir/swap.txt"
    rm -rf "$d/swapdir" && mv -T "$a/dir" "$d/swapdir"
    sleep 0.003
    ln -sfn "$H/vault/secret.txt" "$a/swap" && mv -Tf "$a/swap" "$d/swap.txt"
    rm -rf "$d/swapdir" && ln -sfn "$H/vault" "$d/swapdir"
    sleep 0.003
  done
}

scenario_names() {
  setup "FILE_ATTR 39"
  OUTPUTS=("$H/out" "$H/pub/o")
  as_attacker "$(declare -f make_names); make_names"
  mknod "$H/drop/zero.txt" c 1 5 && mknod "$H/drop/null.txt" c 1 3
  ln "$H/pubroot/foreign.txt" "$H/drop/hl_root_made.txt" # where the kernel would let the attacker
  attacker_bg swap_files 2>/dev/null
  qv_qvr "$H/drop" "Mask: *.*" "$H/out" "$H/pub/o" "Command: DO"
  QV_TIMEOUT=${CAMP_BOUND:-150} qv_run
  camp_end "$CAMP_BG"
  checks <<'EOF'
backslash-dotdot|a name with \ and .. reached the vault|no_output_named secret.txt && [ -f "$H/vault/secret.txt" ]
backslash-beside-link-to-root|a name with \ beside lnk -> / reached the vault|no_output_named secret2.txt && [ -f "$H/vault/inner/secret2.txt" ]
colon-names|a name with : was sent under another name|no_output_named b.txt x.txt
control-bytes|a name wrote a forged line or control bytes into the transcript|! grep -q '^FORGED' "$H/prog/out.txt" && ! LC_ALL=C grep -q $'[\e\a\r\x7f]' "$H/prog/out.txt"
symbolic-links|a link was followed, sent or removed|[ -z "$(find "${OUTPUTS[@]}" -type l ! -name '.~qv*')" ] && in_drop -L ln_secret.txt ln_rel.txt ln_dir.txt ln_root.txt ln_dangling.txt
fifo|a FIFO was opened, sent or removed|in_drop -p fifo.txt && no_output_named fifo.txt
socket|a socket was sent or removed|in_drop -S sock.txt && no_output_named sock.txt
devices|a device was read, sent or removed|in_drop -c zero.txt null.txt && no_output_named zero.txt null.txt
hard-link-to-foreign-file|the foreign file behind a hard link changed|[ "$(loose_snapshot "$H/pubroot")" = "$PUBROOT" ]
mode-000|a mode-000 file or directory was lost|kept_or_sent "$H/drop" m000 && [ -d "$H/drop/d000" ]
swapped-files|a file or directory swapped for a link let a secret out|! grep -qvx swap-regular < <(find "${OUTPUTS[@]}" -type f -name swap.txt -exec cat {} +)
names-in-flight|a planted name in flight made the program write through it or lose a file|[ "$(camp_snapshot "$H/rootonly")" = "$ROOTONLY" ] && { kept_or_sent "$H/drop/.~qvT1" held || kept_or_sent "$H/drop" held; }
nothing-read-outside|a secret of a root-only file appeared outside|secrets_stay
nothing-written-outside|a root-only directory changed|root_dirs_unchanged
EOF
  delivered ok1 ok2 ||
    qv_fail "the ordinary files were not sent: the run did no work, so the cases prove nothing"
}

# --- lock files ---

# Holds the lock files named in $* until killed.
hold_locks() {
  perl -e 'for (@ARGV) { open(my $f, ">>", $_) or die "$_: $!"; flock($f, 2) or die; push @h, $f } sleep 600' "$@"
}
# timed_run N: a run that ends by its run-time limit, and what it delivered.
timed_run() {
  printf "t$1\n" >"$H/drop/t$1.txt"
  QV_TIMEOUT=${CAMP_BOUND:-60} qv_run
  [ "$QV_EXIT" = 23 ] && delivered "t$1"
}
locked() { ! "${QV_AS_USER[@]}" flock -n "$1" true 2>/dev/null; }

scenario_locks() {
  setup "NUMBER_TIME_WORK 2" "CODE_RETURN_TIME 23" "VALID_CYCLE_FULL_RUN 0"
  OUTPUTS=("$H/out")
  local own=$H/prog/tmp/quorvane-0
  qv_qvr "$H/drop" "Mask: *.txt" "$H/out" "Command: DO"
  as_attacker "mkdir -m 777 $own"
  attacker_bg hold_locks {"$H/prog/tmp","$own"}/quorvane-{Time_Unic,Hint}.lock
  qv_wait_for 10 locked "$own/quorvane-Hint.lock" || qv_fail "the lock files were not taken"
  checks <<<'lock-files-held|the run hung or did no work|timed_run 1'
  camp_end "$CAMP_BG"
  rm -rf "$own"
  checks <<<'lock-directory|the run did no work, or another user may enter its lock directory|timed_run 2 && [ "$(stat -c "%u %a %F" "$own")" = "0 700 directory" ] && [ -f "$own/quorvane-Hint.lock" ] && locked "$own/quorvane-Hint.lock" && locked "$own/quorvane-Time_Unic.lock" && ! "${QV_AS_USER[@]}" touch "$own/x" 2>/dev/null'
  camp_bg bash -c "$(declare -f hold_locks); hold_locks $own/quorvane-{Time_Unic,Hint}.lock"
  qv_wait_for 10 eval '! flock -n "$own/quorvane-Hint.lock" true' || qv_fail "root's holder took no lock"
  checks <<'EOF'
own-locks-held-time|the run-time limit waited for a lock|timed_run 3
own-locks-held-stop|a stop request waited for a lock|qv_cfg "DELAY_INTERPR 100" "DELAY_COPY 0" && echo s >"$H/drop/s.txt" && qv_start && qv_wait_for 30 delivered s && qv_stop && qv_wait_end && [ "$QV_HUNG$QV_EXIT" = 00 ] && qv_says "Exit on pressing a key."
EOF
}

# --- swapped output directories ---

# Swaps the output directory for links to the root-only directories, forever:
# the directory is renamed away, a link renamed into its place, then the link
# removed and the directory renamed back (unless the program made a new one
# meanwhile).
swap_output() {
  cd "$H/pub" || exit 1
  local i=0 target
  while :; do
    for target in "$H/rootonly" "$H/vault"; do
      i=$((i + 1))
      [ -d o ] && [ ! -L o ] && mv -T o "real.$i"
      ln -sfn "$target" "lnk.$i" && { mv -T "lnk.$i" o 2>/dev/null || rm -f "lnk.$i"; }
      sleep 0.004
      [ -L o ] && rm -f o
      [ -e "real.$i" ] && mv -T "real.$i" o
      sleep 0.004
    done
  done
}

scenario_swaps() {
  setup "DELAY_COPY 20"
  OUTPUTS=("$H/out" "$H/pub") # wherever the swapped directories ended up

  as_attacker '
    cd "$H/drop" && for i in $(seq 1 12); do printf "b$i\n" >b$i.txt; done
    cd "$H/pub/o" && printf "older b1\n" >b1.txt && ln -s "$H/rootonly" COPY
    cd "$H/drop2" && for i in 1 2 3; do printf "c$i\n" >c$i.txt; done
    ln -s "$H/rootonly" "$H/pub2/in"'
  attacker_bg swap_output 2>/dev/null
  qv_qvr "$H/drop" "Mask: *.txt" "$H/out" "$H/pub/o" "Command: DO-ALL" \
    "$H/drop2" "Mask: *.txt" "$H/pub2/in/deep" "Command: DO-ALL"
  QV_TIMEOUT=${CAMP_BOUND:-150} qv_run
  camp_end "$CAMP_BG"
  checks <<'EOF'
output-swapped-for-links|a file was written through the swapped output or its COPY link|[ -z "$(find "$H/rootonly" "$H/vault" -name "b*.txt")" ] && [ "$(camp_snapshot "$H/vault")" = "$VAULT" ]
output-swapped-loses-nothing|ordinary files lost|kept_or_sent "$H/drop" b{1..12}
link-planted-in-output-path|files went through a link the attacker put in an output path|[ ! -e "$H/rootonly/deep" ] && kept_or_sent "$H/drop2" c1 c2 c3
nothing-written-outside|a root-only directory changed|root_dirs_unchanged
EOF
}

qv_user
case "${1:-}" in
  names | locks | swaps) "scenario_$1" ;;
  *) qv_die "usage: $0 names|locks|swaps" ;;
esac
echo "RESULT hostile=$1 tried=$TRIED escaped=$ESCAPED"
