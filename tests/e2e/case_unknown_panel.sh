#!/usr/bin/env bash
# The unknown-files panel on an 80 x 25 screen: after the first pass through
# the task script it lists, in light green, the file of an input directory
# that no mask matches (not the one the mask takes, nor a sub-directory);
# a file that turns up later is listed after the second pass, in yellow;
# neither is listed twice.
. "$(dirname "$0")/lib.sh"
qv_setup
qv_cfg "DELAY_INTERPR 700" "DELAY_COPY 0"
qv_qvr "$(qv_path in)" "Mask: *.txt" "$(qv_path out)" "Command: DO"
qv_file in/a.txt "alpha"
qv_file in/junk.bin "j"
mkdir -p "$QV_DIR/in/sub.bin"
qv_tmux

qv_screen_wait "junk.bin ("
qv_file in/new.bin "n"
qv_screen_wait "new.bin ("
sleep 2 # two more passes: nothing is listed again
screen=$(tmux -L "$QV_TMUX" capture-pane -p -e)
qv_keys q
qv_tmux_wait_exit
expect_exit 0

# The colour set right before a panel entry (rows 3 to 11 hold the panel).
colour_of() {
  sed -n 3,11p <<<"$screen" | grep -F "$1 (" | sed -E "s/.*\x1b\[([0-9;]*)m${1//./\\.} \(.*/\1/"
}
plain=$(sed -E 's/\x1b\[[0-9;]*m//g' <<<"$screen")
[ "$(sed -n 3,11p <<<"$plain" | grep -c 'junk.bin (')" = 1 ] || qv_fail "junk.bin not listed once"
[ "$(sed -n 3,11p <<<"$plain" | grep -c 'new.bin (')" = 1 ] || qv_fail "new.bin not listed once"
sed -n 3,11p <<<"$plain" | grep -qE 'a\.txt \(|sub\.bin \(' && qv_fail "a known file or a directory listed"
sed -n 3p <<<"$plain" | grep -qF "│ junk.bin ($(qv_path in)" || qv_fail "junk.bin is not the first row"
case $(colour_of junk.bin) in
  92 | 1\;32 | 38\;5\;10) ;;
  *) qv_fail "junk.bin is not light green: '$(colour_of junk.bin)'" ;;
esac
case $(colour_of new.bin) in
  93 | 1\;33 | 38\;5\;11) ;;
  *) qv_fail "new.bin is not yellow: '$(colour_of new.bin)'" ;;
esac
echo ok
