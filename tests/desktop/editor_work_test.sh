#!/usr/bin/env bash
# What the editor keeps of a user's work, and shows, in a real window: a
# change is kept within seconds, so an editor killed outright (SIGKILL, the
# out-of-memory killer) loses nothing and the next start offers it; the
# offer's question shows a long name whole, inside its box; closing the
# window while it is up leaves the kept work for a later start, as Escape
# does, and goes on to the quit's question; the load requester's list
# reaches the last of 300 programs by the mouse wheel.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
mkdir "$DESK_WORK/work"
cd "$DESK_WORK/work"

readonly text_background=14203A
grab=$DESK_WORK/grab.png
background_in_middle() { desk_grab "$grab" && desk_count "$grab" $text_background 200x60+220+220; }
question_shown() { [ "$(background_in_middle)" -lt 100 ]; }
editor_shown() { [ "$(background_in_middle)" -gt 11000 ]; }

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
printf 'print z\r\n' > zz.kqa
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
desk_until eval '[ "$(cat zz.kqa)" = "$(printf "print z\r\nrem z\r")" ]' ||
  desk_fail "the last row was not zz.kqa: $(od -c zz.kqa | head -3)"
echo "editor work: kept within seconds through SIGKILL, offered whole, a close answers as Escape, the wheel reaches every program"
