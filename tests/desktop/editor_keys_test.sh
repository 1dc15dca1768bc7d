#!/usr/bin/env bash
# The editor's quick chords and its help in a real window. A program of the
# project area is shown in the status line by its project's name. xdotool lets go
# of Control at once, before the editor's next frame, as a quick hand does:
# Ctrl+S still saves, Ctrl+N still starts a new program, Ctrl+F still opens
# the find requester. F1 opens the help, a click follows a link, Escape
# leaves it.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

readonly text_background=14203A
grab=$DESK_WORK/grab.png
# Pixels of the text area's background in the rows below the first.
background_below_first_line() { desk_grab "$grab" && desk_count "$grab" $text_background 600x380+10+60; }
rows_empty() { desk_grab "$grab" && [ "$(desk_count "$grab" $text_background 590x26+20+43)" -eq 15340 ]; }
# The middle of the page, where requesters open over the text area.
background_in_middle() { desk_grab "$grab" && desk_count "$grab" $text_background 200x130+220+175; }
requester_open() { [ "$(background_in_middle)" -lt 100 ]; }
requester_closed() { [ "$(background_in_middle)" -gt 20000 ]; }
help_shown() { [ "$(background_below_first_line)" -lt 10000 ]; }
editor_shown() { [ "$(background_below_first_line)" -gt 200000 ]; }

# The status line, right of its middle: one colour while its text is short.
status_right_half_colours() { convert "$grab" -crop 300x16+317+463 +repage -unique-colors -format %w info:; }

mkdir -p MYPROJ/demo
printf 'print "one"\r\n' > MYPROJ/demo/prog.kqa
desk_start "$zentrovex" edit MYPROJ/demo/prog.kqa
cd MYPROJ/demo
desk_window
desk_until editor_shown || desk_fail "the editor's page is not shown"
[ "$(status_right_half_colours)" = 1 ] || desk_fail "the status line holds more than \"Project: Demo  File: prog.kqa\""

desk_key ctrl+End Return
desk_type 'print "two"'
desk_key ctrl+s
saved() { [ "$(cat prog.kqa)" = "$(printf 'print "one"\r\nprint "two"\r')" ]; }
desk_until saved || desk_fail "Ctrl+S did not save: $(od -c prog.kqa | head -3)"

desk_key ctrl+f
desk_until requester_open || desk_fail "Ctrl+F did not open the find requester"
desk_key Escape
desk_until requester_closed || desk_fail "Escape did not close the find requester"

desk_key ctrl+n
desk_until rows_empty || desk_fail "Ctrl+N did not start a new program"
saved || desk_fail "Ctrl+N changed the saved file"

desk_key F1
desk_until help_shown || desk_fail "F1 did not open the help"
desk_grab "$DESK_WORK/index.png"
desk_click 50 190  # the link to the first family's page
page_changed() { desk_grab "$grab" && [ "$(desk_differs "$DESK_WORK/index.png" "$grab" 616x417+0+42)" -gt 5000 ]; }
desk_until page_changed || desk_fail "the link did not lead to another page"
help_shown || desk_fail "the help was left by following a link"
desk_key Escape
desk_until editor_shown || desk_fail "Escape did not leave the help"
echo "editor keys: Ctrl+S, Ctrl+F, Ctrl+N as quick chords; F1 and a help link"
