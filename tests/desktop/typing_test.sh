#!/usr/bin/env bash
# Text typed at a real window at a person's pace (80 ms from key to key,
# each key down only for a moment) reaches the program's input line whole
# and in order, and each of three taps quicker than the frames ends one
# wait key.
# A letter beyond ASCII reaches the program as its Windows-1252 byte.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
command -v setxkbmap > /dev/null || { echo "SKIP: setxkbmap is not installed (Debian package x11-xkb-utils)"; exit 77; }
command -v xset > /dev/null || { echo "SKIP: xset is not installed (Debian package x11-xserver-utils)"; exit 77; }
cd "$DESK_WORK"
desk_key_repeat off

# The program says when it is about to ask, so that nothing is typed
# while it is still starting.
printf '%s\r\n' 'open file to write 1, "asking.txt"' 'close file 1' 'input a$' 'wait key' 'wait key' 'wait key' 'open file to write 1, "typed.txt"' \
  'write file string 1, a$' 'write file string 1, entry$()' 'close file 1' > typing.kqa
desk_start "$zentrovex" run typing.kqa
desk_window
desk_until test -e asking.txt || desk_fail "the program did not start"
# From here on nothing typed may be lost, so one try is enough.
xdotool type --delay 80 "take apple"
xdotool key Return
# A layout with the letter on a key of its own: xdotool would otherwise lend
# the letter to a spare key for a moment, and the program could read that key
# after it was taken back.
setxkbmap fr
xdotool key --delay 10 eacute x y
desk_ended || desk_fail "the program still waits: a key typed did not reach it"
[ "$DESK_STATUS" = 0 ] || desk_fail "the run ended with status $DESK_STATUS"
line=$(head -n 1 typed.txt | tr -d '\r\0')
[ "$line" = "take apple" ] || desk_fail "the program read \"$line\" for \"take apple\""
# Every character typed, in the program's own Windows-1252 letters.
grep -q $'take apple\r\xe9xy' typed.txt || desk_fail "entry\$() held $(od -c typed.txt)"
echo "typing: every key typed at a person's pace reached input and wait key"
