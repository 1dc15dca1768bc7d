#!/usr/bin/env bash
# A program typed into the editor and run with F5 in a real window: its
# text and its drawing are seen on the screen, its window is named after
# it, the keys typed reach wait key and inkey$(), and the editor comes back.
# A compile error too long for the status line is shown whole, wrapped above
# it, until the next key.
# Each step waits for a key of its own, so that a key pressed again (when a
# loaded machine let the program miss it) does not reach the next step.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

desk_start "$zentrovex"
desk_window
desk_type 'cls rgb(0,0,255)
ink rgb(255,255,0),0
print "HELLO WORLD"
text at 100,100,"TEXT AT"
box 200,200,300,300
wait key
ink rgb(255,0,0),0
box 400,200,500,300
repeat
k$ = inkey$()
until k$ = "g"
ink rgb(0,255,0),0
box 400,200,500,300
repeat
k$ = inkey$()
until k$ = "q"
'
desk_key F5
# The program runs full screen, its picture scaled to the window; grabs are
# brought back to its 640 x 480.
desk_wait_count FFFF00 9000 100x100+200+200 640 480 || desk_fail "the program's box is not seen"
grab=$DESK_WORK/grab.png
[ "$(desk_count "$grab" FFFF00 120x16+0+0)" -ge 40 ] || desk_fail "the printed text is not seen"
[ "$(desk_count "$grab" FFFF00 80x16+100+100)" -ge 30 ] || desk_fail "the text at 100,100 is not seen"
[ "$(xdotool getwindowname "$DESK_WINDOW")" = untitled.kqa ] ||
  desk_fail "the window is called \"$(xdotool getwindowname "$DESK_WINDOW")\", not after the program"

box_of() { desk_grab "$grab" 640 480 && [ "$(desk_count "$grab" "$1" 100x100+400+200)" -ge 9000 ]; }
desk_press_until space box_of FF0000 || desk_fail "the key typed did not end wait key"
desk_press_until g box_of 00FF00 || desk_fail "the key typed did not reach inkey\$()"
desk_press_until q desk_find_window Zentrovex || desk_fail "the editor did not come back"

# The status line's message ink in the row above it, where the text area
# of a short program is empty.
readonly message_ink=FFE060
above_status() { desk_grab "$grab" && desk_count "$grab" $message_ink 610x14+2+447; }
desk_key ctrl+a
desk_type 'while 1
wend'
desk_key F5
desk_until eval '[ "$(above_status)" -gt 20 ]' || desk_fail "the compile error's hint is cut at the status line's end"
desk_key Right
desk_until eval '[ "$(above_status)" = 0 ]' || desk_fail "a key did not put the whole message away"
echo "editor run: text, drawing, title and keys seen in a real window; a long error shown whole"
