#!/usr/bin/env bash
# What a user's work keeps, end to end: the editor's quit asks about every
# program with unsaved changes, in either tab; a stop signal keeps each tab's
# under a name of its own (no earlier autosave lost, not in a folder that
# goes at exit), offered when the program opens and at any start, and gone
# once saved or given up; a program saved without an
# extension is NAME.kqa, which `run` and `edit` take whatever its case;
# string array files written on Linux load line by line, long lines whole.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/naps.sh"
zv=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
# The question's Yes and No, the load and save requesters' Load and Save.
yes='click 277 258' no='click 363 258' save='click 473 267'
# A session of the editor on prog.kqa (or the file given), its script's
# lines split at "/".
# "" starts it with no program, as a plain `zentrovex` does.
edit() { tr / '\n' <<< "$1" > script.txt && "$zv" edit --events script.txt ${2-prog.kqa} > out 2> err; }
# The same, ended by SIGNAL once its script is played out (ZV_TEST_STOP_AT).
ended_by() {
  tr / '\n' <<< "$2" > script.txt
  ZV_TEST_STOP_AT=played "$zv" edit --events script.txt "${@:3}" > out 2> err &
  local pid=$! status=0
  while kill -0 $pid 2> /dev/null && [ "$(awk '{ print $3 }' /proc/$pid/stat 2> /dev/null)" != T ]; do sleep 0.05; done
  kill -"$1" $pid && kill -CONT $pid 2> /dev/null
  { wait $pid; } 2> /dev/null || status=$?
  [ $status = $((128 + $(kill -l "$1"))) ]
}
stopped() { ended_by TERM "$@"; }
# Killed outright (SIGKILL, the out-of-memory killer) while a program it
# runs has made running.txt.
killed_in_run() {
  tr / '\n' <<< "$1" > script.txt
  "$zv" edit --events script.txt > out 2> err &
  local pid=$!
  while kill -0 $pid 2> /dev/null && [ ! -e running.txt ]; do sleep 0.05; done
  kill -KILL $pid
  { wait $pid; } 2> /dev/null || [ $? = 137 ]
}
# A program of one line, run; then, with "game", built and played.
run() { printf '%s\r\n' "$1" > run.kqa && "$zv" run --headless run.kqa > out 2> err; }
game() { "$zv" build run.kqa -o game > /dev/null && ZENTROVEX_HEADLESS=1 ./game > out 2> err; }
is() { [ "$(cat "$1")" = "$(printf '%s\r\n' "${@:2}")" ]; }
none() { ! ls ./*.autosave* > /dev/null 2>&1; }
long=$(printf '%0300d' 0)

failed=0
# One row a case: what it shows | what is done | what holds afterwards.
while IFS='|' read -r what action check; do
  rm -rf ./* && printf 'print 1\r\n' > prog.kqa && printf 'old\r\n' > earlier && touch -d '-1 hour' earlier && printf 'line %d\n' {1..40} > lines.txt
  printf 'a\r\n%s\r\n%s\r\nb\r\n' "$long" "$long" > long.txt
  if ! eval "$action" || ! eval "$check"; then
    echo "FAIL: $what: $(head -c 300 out err 2>&1)" >&2
    failed=1
  fi
done << 'ROWS'
quit: tab 1 changed, tab 2 shown, yes saves it|edit "key ctrl+end/type \nrem kept/key ctrl+2/close/$yes/$yes"|is prog.kqa 'print 1' 'rem kept' && none
quit: no gives the changes up, leaving nothing|edit "key ctrl+end/type \nrem gone/key ctrl+2/close/$no/$yes"|is prog.kqa 'print 1' && none
quit: an unnamed program in tab 2 is named and saved|edit "key ctrl+2/type print 2/key ctrl+1/close/$yes/type second/$save/$yes"|is second.kqa 'print 2'
quit: Escape keeps the editor and the changes|edit "key ctrl+end/type \nrem kept/key ctrl+2/close/key escape/key ctrl+s"|is prog.kqa 'print 1' 'rem kept'
a stop keeps two unnamed tabs apart and an earlier autosave; untitled.kqa offers each: no gives one up, a save ends another, Escape leaves one|cp -p earlier untitled.kqa.autosave && stopped "type print 1/key ctrl+2/type print 2" && edit "$no/$yes/key escape/key ctrl+s" untitled.kqa|is untitled.kqa.autosave old && [ ! -e untitled.kqa.autosave-2 ] && [ ! -e untitled.kqa.autosave-3 ] && is untitled.kqa 'print 1'
a plain start gives back both unnamed tabs a stop kept, each saved then|stopped "type print 1/key ctrl+2/type print 2" && edit "$yes/$yes/key ctrl+s/type one/$save/key ctrl+1/key ctrl+s/type two/$save" ""|[ "$(cat one.kqa two.kqa | sort)" = "$(printf 'print 1\r\nprint 2\r')" ] && none
a stop keeps one program open in both tabs twice, passing over a link|ln -s outside prog.kqa.autosave && stopped "type A/key ctrl+2/key ctrl+o/type prog.kqa/$save/type B" prog.kqa|is prog.kqa 'print 1' && is prog.kqa.autosave-2 'Aprint 1' && is prog.kqa.autosave-3 'Bprint 1' && [ ! -e outside ]
a stop keeps an edited help example where its save goes, not in the folder that goes at exit|stopped "key f1/click 10 183/key home/click 128 281/$yes/type C"|grep -q '^C' core_blocks_and_loops.kqa.autosave
Load takes a name without extension as NAME.kqa at Return, and keys typed after its message|printf 'print b\r\n' > b.kqa && edit "key ctrl+o/type nope/key enter/key enter/key backspace/key backspace/key backspace/key backspace/type b/key enter/key ctrl+end/type \nrem x/key ctrl+s"|is b.kqa 'print b' 'rem x'
Load takes an autosave as an unnamed program's changes, gone once saved|printf 'print k\r\n' > untitled.kqa.autosave && edit "key ctrl+o/type untitled.kqa.autosave/key enter/key ctrl+s/type k/key enter"|is k.kqa 'print k' && none
a name without extension is NAME.kqa|edit "key ctrl+n/type print 3/key ctrl+s/type game/$save" && "$zv" run --headless game.kqa > out|[ "$(cat out)" = 3 ]
an LF text file loads line by line|run 'dim s$(39) : load string array "lines.txt", s$(0) : print s$(0); "."; s$(39)'|[ "$(cat out)" = 'line 1.line 40' ]
the program's own lone LF comes back whole|run 'dim s$(1) : s$(0) = "a" + chr$(10) : save string array "o.txt", s$(0) : load string array "o.txt", s$(0) : print len(s$(0))'|[ "$(cat out)" = 2 ]
a long line loads whole in a run|run 'dim s$(3) : load string array "long.txt", s$(0) : print len(s$(1)); s$(3)'|[ "$(cat out)" = 300b ] && [ ! -s err ]
a long line loads whole in a built game|run 'dim s$(3) : load string array "long.txt", s$(0) : print len(s$(1)); s$(3)' && game|[ "$(cat out)" = 300b ] && [ ! -s err ]
a program saved over MINE.KQA is mine.kqa to run and edit, which say so|printf 'print 5\r\n' > mine.KQA && edit "key ctrl+n/type print 6/key ctrl+s/type mine/$save/$yes" && edit "key ctrl+end/type \nrem x/key ctrl+s" mine.kqa && "$zv" run --headless mine.kqa > out 2> err|[ "$(cat out)" = 6 ] && grep -q 'taking mine.KQA' err && is mine.KQA 'print 6' 'rem x' && [ ! -e mine.kqa ]
Ctrl+Z takes back a typed line, then the replace before it, and Ctrl+Y brings back each in turn|edit "key ctrl+r/type print/key enter/type rem/key enter/key ctrl+end/type \nrem typed/key ctrl+z/key ctrl+z/key ctrl+z/key ctrl+y/key ctrl+y/key ctrl+s"|is prog.kqa 'rem 1' ''
a change is kept within seconds: SIGKILL loses nothing, and the next start offers it|ended_by KILL "type rem typed/wait 3000/move 0 0" prog.kqa && edit "$yes/key ctrl+s"|is prog.kqa 'rem typedprint 1' && none
a change is kept before a run: the editor killed during it loses nothing, and the next start offers it|killed_in_run "type make file \"running.txt\" : wait key/key f5" && edit "$yes/key ctrl+s/type typed/key enter" ""|is typed.kqa 'make file "running.txt" : wait key'
kept work is offered while it holds text its program's file does not, whatever the file's time|stopped "type rem kept" prog.kqa && touch prog.kqa && edit "$yes/key ctrl+s"|is prog.kqa 'rem keptprint 1' && none
edit NAME opens NAME.kqa, as Load does|printf 'print 7\r\n' > game.kqa && edit "key ctrl+end/type \nrem x/key ctrl+s" game|is game.kqa 'print 7' 'rem x' && [ ! -e game ]
the requesters name two programs that match a name in letter case and take neither|printf 'print 1\r\n' > Game.kqa && printf 'print 2\r\n' > game.kqa && edit "key ctrl+o/type GAME/key enter/key enter/key escape/type print 9/key ctrl+s/type GAME/key enter/$yes" ""|is Game.kqa 'print 1' && is game.kqa 'print 2' && [ ! -e GAME.kqa ]
the load requester reaches every program of a folder of 300 by the wheel|mkdir many && for i in $(seq 100 399); do : > many/a$i.kqa; done && printf 'print z\r\n' > many/zz.kqa && edit "key ctrl+o/wheel -200/click 160 229/click 160 229/key ctrl+end/type \nrem z/key ctrl+s" many/a100.kqa|is many/zz.kqa 'print z' 'rem z'
two programs that match a name in letter case are both named, neither run|printf 'print 1\r\n' > Game.kqa && printf 'print 2\r\n' > GAME.KQA && { "$zv" run --headless game.kqa > out 2> err; [ $? = 3 ]; }|grep -q 'GAME.KQA and Game.kqa differ from it only in letter case' err && [ ! -s out ]
ROWS
[ $failed = 0 ] && echo "kept work: every row holds"
