#!/usr/bin/env bash
# What the editor keeps of a user's work, and shows, in a real window: a
# change is kept within seconds, so an editor killed outright (SIGKILL, the
# out-of-memory killer) loses nothing and the next start offers it; the
# offer's question shows a long name whole, inside its box; closing the
# window while it is up leaves the kept work for a later start, as Escape
# does, and goes on to the quit's question; the load requester's list
# reaches the last of 300 programs by the mouse wheel, and a program with
# LF line ends is saved with them. A pipe given as the program is refused
# and a stop signal still ends the editor. A second editor leaves the
# changes a running one keeps; a kept program offered once a save frees a
# tab waits for the typing to pause, so no key typed is lost; keeping that
# cannot go beside the program or into the state folder goes to the spare
# one, and the window says so at once.
set -euo pipefail
zentrovex=$1
support=$(dirname "$0")/../support
source "$support/mount_namespace.sh"
# A /var/tmp of the test's own, where the spare state folder is made: in a
# mount namespace of its own, never the one it was started in, which other
# runs share.
export ZV_EDITOR_WORK_STARTED_IN=${ZV_EDITOR_WORK_STARTED_IN:-$(readlink /proc/self/ns/mnt)}
in_own_mount_namespace "$0" "$@" || true
own_var_tmp=0
if [ "$(readlink /proc/self/ns/mnt)" != "$ZV_EDITOR_WORK_STARTED_IN" ]; then
  mount -t tmpfs -o mode=1777 tmpfs /var/tmp && own_var_tmp=1
fi
source "$support/desktop.sh"
source "$support/as_user.sh"
desk_init
mkdir "$DESK_WORK/work"
cd "$DESK_WORK/work"

readonly text_background=14203A message_ink=FFE060
grab=$DESK_WORK/grab.png
background_in_middle() { desk_grab "$grab" && desk_count "$grab" $text_background 200x60+220+220; }
question_shown() { [ "$(background_in_middle)" -lt 100 ]; }
editor_shown() { [ "$(background_in_middle)" -gt 11000 ]; }
message_in_status_line() { desk_grab "$grab" && [ "$(desk_count "$grab" $message_ink 610x16+2+463)" -gt 50 ]; }

mkfifo pipe.kqa
desk_start "$zentrovex" edit pipe.kqa
desk_window
desk_until message_in_status_line || desk_fail "the editor given a pipe says nothing (it waits on the pipe)"
kill -TERM "$DESK_PID"
DESK_TIMEOUT=10 desk_ended || desk_fail "SIGTERM did not end the editor given a pipe"
rm pipe.kqa

name=a_rather_long_program_name_for_moving_a_sprite.kqa
printf 'print 1\r\n' > $name
desk_start "$zentrovex" edit $name
desk_window
desk_until editor_shown || desk_fail "the editor's page is not shown"
desk_key ctrl+End Return
desk_type 'rem typed'
desk_until test -e $name.autosave || desk_fail "the change was not kept while the editor ran"
kill -KILL "$DESK_PID"
desk_ended

desk_start "$zentrovex" edit $name
desk_window
desk_until question_shown || desk_fail "the change kept before the kill is not offered"
# The text area beside the question's box, on the rows of its text: the
# question stays inside its box. Read until the window shows it (a slow
# build draws its first frames late).
beside_clear() {
  desk_grab "$grab"
  beside=$(($(desk_count "$grab" $text_background 90x40+20+200) + $(desk_count "$grab" $text_background 80x40+530+200)))
  [ "$beside" = 6800 ]
}
desk_until beside_clear || desk_fail "the question's text runs out of its box ($((6800 - beside)) pixels beside it)"

# Closing the window answers the offer as Escape does, then asks whether to
# quit; No goes back to the program, the offer not asked again, and keys
# reach the program at once.
wmctrl -i -c "$DESK_WINDOW" || desk_fail "wmctrl could not close the window"
quit_asked() { desk_grab "$grab" && [ "$(desk_differs "$DESK_WORK/offer.png" "$grab" 400x100+120+190)" -gt 500 ]; }
cp "$grab" "$DESK_WORK/offer.png"
desk_until quit_asked || desk_fail "closing the window asked nothing"
desk_click 363 258
desk_until editor_shown || desk_fail "No to the quit did not go back to the program"
desk_key ctrl+End Return
desk_type 'rem saved'
desk_key ctrl+s
saved() { [ "$(cat $name)" = "$(printf 'print 1\r\nrem saved\r')" ]; }
desk_until saved || desk_fail "the offer was asked again after the close: $(od -c $name | head -3)"
[ "$(cat $name.autosave)" = "$(printf 'print 1\r\nrem typed\r')" ] || desk_fail "the kept change did not stay for a later start"
rm $name.autosave

# The load requester's list of this folder, 303 entries long, scrolled to
# its end by the wheel over it; its last row is zz.kqa, opened by two
# clicks.
for i in $(seq 100 399); do : > a$i.kqa; done
printf 'print z\n' > zz.kqa
desk_key ctrl+o
desk_until question_shown || desk_fail "Ctrl+O did not open the load requester"
desk_grab "$DESK_WORK/top.png"
list_moved() { desk_grab "$grab" && [ "$(desk_differs "$DESK_WORK/top.png" "$grab" 250x112+144+125)" -gt 200 ]; }
xdotool mousemove --window "$DESK_WINDOW" 250 180
xdotool click 5
desk_until list_moved || desk_fail "the wheel did not scroll the file list"
xdotool click --repeat 110 --delay 5 5
at_end() {
  desk_grab "$grab" && cp "$grab" "$DESK_WORK/end.png" && sleep 0.3 && desk_grab "$grab" &&
    [ "$(desk_differs "$DESK_WORK/end.png" "$grab" 250x112+144+125)" = 0 ]
}
desk_until at_end || desk_fail "the file list did not come to rest"
desk_click 160 229
desk_click 160 229
desk_until editor_shown || desk_fail "two clicks on the last row did not load it"
desk_key ctrl+End Return
desk_type 'rem z'
desk_key ctrl+s
desk_until eval '[ "$(tr -d "\r" < zz.kqa)" = "$(printf "print z\nrem z")" ]' ||
  desk_fail "the last row was not zz.kqa: $(od -c zz.kqa | head -3)"
[ "$(cat zz.kqa)" = "$(printf "print z\nrem z")" ] || desk_fail "LF line ends were saved as CR LF: $(od -c zz.kqa | head -3)"
kill -KILL "$DESK_PID"
desk_ended
rm ./*.kqa

# A second editor of the program leaves the changes the first keeps: no
# question offers them, so no No deletes them, and the first, killed, has
# lost nothing.
printf 'print 1\r\n' > k.kqa
desk_start "$zentrovex" edit k.kqa
first=$DESK_PID
trap 'kill -KILL "$first" 2> /dev/null; desk_cleanup' EXIT
desk_window
desk_until editor_shown || desk_fail "the first editor's page is not shown"
desk_key ctrl+End Return
desk_type 'rem by the first'
desk_until test -e k.kqa.autosave || desk_fail "the first editor did not keep its change"
desk_start "$zentrovex" edit k.kqa
desk_window
desk_until eval 'editor_shown || question_shown' || desk_fail "the second editor's page is not shown"
desk_click 363 258  # No, where a question would ask
kill -KILL "$first"
{ wait "$first"; } 2> /dev/null || true
trap desk_cleanup EXIT
[ "$(cat k.kqa.autosave 2> /dev/null)" = "$(printf 'print 1\r\nrem by the first\r')" ] ||
  desk_fail "a second editor deleted the changes the first kept"
kill -KILL "$DESK_PID"
desk_ended
rm k.kqa*

# Three kept programs offered; Yes, Yes fills both tabs; a save frees one,
# and the third question waits while typing goes on: every key typed after
# the save reaches the program, and the question comes once typing pauses
# with a tab free.
printf 'print 1\r\n' > p.kqa
# Offered newest first: p.kqa.autosave, then -2 (its question's text
# stands two characters aside), then -3.
for n in 1 2 3; do
  printf 'rem %s\r\n' $n > p.kqa.autosave$([ $n = 1 ] || echo -$n)
  touch -d "-$n minutes" p.kqa.autosave$([ $n = 1 ] || echo -$n)
done
desk_start "$zentrovex" edit p.kqa
desk_window
for answer in 1 2; do
  desk_until question_shown || desk_fail "kept program $answer is not offered"
  cp "$grab" "$DESK_WORK/asked.png"
  desk_click 277 258  # Yes
  asked_again() { desk_grab "$grab" && [ "$(desk_differs "$DESK_WORK/asked.png" "$grab" 400x40+120+200)" -gt 100 ]; }
  desk_until asked_again || desk_fail "Yes to kept program $answer did nothing"
done
desk_until editor_shown || desk_fail "the third kept program is offered with both tabs holding changes"
desk_key ctrl+End Return
desk_type 'rem typed'
desk_key ctrl+s
readonly after_save=abcdefghijklmnopqrstuvwxyz1234
desk_type "$after_save"
desk_key ctrl+s
desk_until eval 'tail -c 200 p.kqa | grep -q "rem typed$after_save"' ||
  desk_fail "keys typed after the save were lost: $(tail -c 100 p.kqa | od -c | head -5)"
desk_until question_shown || desk_fail "the third kept program is not offered once typing paused"
desk_key Escape
desk_until editor_shown || desk_fail "Escape did not leave the third kept program for later"
kill -KILL "$DESK_PID"
desk_ended
rm p.kqa*

# Keeping where neither the program's folder nor the state folder takes a
# file: as a user other than root (who may write anything), with a /var/tmp
# of the test's own.
if [ $own_var_tmp != 1 ] || [ "$(id -u)" != 0 ]; then
  echo "SKIP: keeping in the spare state folder needs root, for a /var/tmp of the test's own and another user"
  exit 77
fi
mine=$DESK_WORK/user
mkdir "$mine" && chmod 755 "$DESK_WORK"
as_user_init "$mine" "$zentrovex"
mkdir "$mine/read-only" "$mine/state-read-only" "$mine/tmp"
printf 'print 1\r\n' > "$mine/read-only/k.kqa"
user_owns "$mine/tmp"
desk_start env XDG_STATE_HOME="$mine/state-read-only" TMPDIR="$mine/tmp" \
  "${as_user[@]}" "$zentrovex" edit "$mine/read-only/k.kqa"
desk_window
desk_until editor_shown || desk_fail "the page of the user's editor is not shown"
desk_key ctrl+End Return
desk_type 'rem kept elsewhere'
desk_until message_in_status_line || desk_fail "the window does not say where the changes are kept"
spare_kept() { grep -qs 'rem kept elsewhere' /var/tmp/zentrovex-65534/autosave/k.kqa.*.autosave; }
desk_until spare_kept || desk_fail "the changes are not kept in the spare state folder"
echo "editor work: kept within seconds through SIGKILL, offered whole, a close answers as Escape, the wheel reaches every program, LF kept, a pipe refused, another editor's changes left, no key lost to an offer, keeping elsewhere said"
