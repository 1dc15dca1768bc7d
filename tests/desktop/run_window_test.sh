#!/usr/bin/env bash
# zentrovex run in a real window: the window is titled with the program's
# file until the program names it (in UTF-8 and in X's own Latin-1, as the
# desktop reads it; so is the caption of the exit prompt); the
# window commands place the window's inside, and size, hide, show,
# minimise, maximise and restore it as the window manager sees it, in full
# screen as in a window; closing the window ends the run.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

# Each step waits for the file of its number, which the test writes once it
# has seen the step before.
step() { printf 'while file exists("%s") = 0\r\nsync\r\nendwhile\r\n' "$1"; }
{
  step 1
  printf '%s\r\n' 'window on' $'set window title "Commands \xe9"' 'set window size 400,300' 'set window position 40,50'
  step 2
  printf 'hide window\r\n'
  step 3
  printf 'show window\r\n'
  step 4
  printf 'minimise window\r\n'
  step 5
  printf 'maximise window\r\n'
  step 6
  printf 'restore window\r\n'
  step 7
  printf 'hide window\r\n'
  step 8  # shown and at once minimised; file 9 says 60 frames went by since
  printf 'show window\r\nminimise window\r\nfor i = 1 to 60\r\nsync\r\nnext i\r\nopen file to write 1, "9"\r\n'
  printf 'do\r\nsync\r\nloop\r\n'
} > commands.kqa

place() { xwininfo -id "$DESK_WINDOW" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} END{print x","y}'; }
size() { xwininfo -id "$DESK_WINDOW" | awk '/Width/{w=$NF} /Height/{h=$NF} END{print w"x"h}'; }
map_state() { xwininfo -id "$DESK_WINDOW" | awk '/Map State/{print $NF}'; }
states() { xprop -id "$DESK_WINDOW" _NET_WM_STATE; }
is() { [ "$("$1")" = "$2" ]; }
has_state() { states | grep -q "$1"; }
wm_state() { xprop -id "$DESK_WINDOW" WM_STATE 2> /dev/null | awk '/window state/{print $NF}'; }
has_wm_state() { [ "$(wm_state)" = "$1" ]; }
lacks_wm_state() { [ "$(wm_state)" != "$1" ]; }
lacks_state() { ! has_state "$1"; }

desk_start "$zentrovex" run commands.kqa
desk_window

# Both names of a window, as the tools of a UTF-8 desktop show them.
names() { LC_ALL=C.UTF-8 xprop -id "$1" WM_NAME _NET_WM_NAME; }
named() { printf 'WM_NAME(STRING) = "%s"\n_NET_WM_NAME(UTF8_STRING) = "%s"' "$1" "$1"; }

touch 1
desk_window "Commands é"
[ "$(names "$DESK_WINDOW")" = "$(named "Commands é")" ] || desk_fail "the window is named $(names "$DESK_WINDOW")"
desk_until is size 400x300 || desk_fail "the window's inside is $(size), not 400x300"
desk_until is place 40,50 || desk_fail "the window's inside is at $(place), not 40,50"
# Each state is awaited until the window manager has taken it (WM_STATE).
touch 2
desk_until is map_state IsUnMapped || desk_fail "hide window left it $(map_state)"
desk_until lacks_wm_state Normal || desk_fail "the window manager still shows the hidden window"
touch 3
desk_until is map_state IsViewable || desk_fail "show window left it $(map_state)"
desk_until has_wm_state Normal || desk_fail "the window manager does not show the window again"
touch 4
desk_until has_state _NET_WM_STATE_HIDDEN || desk_fail "minimise window left it $(states)"
touch 5
desk_until has_state _NET_WM_STATE_MAXIMIZED_VERT || desk_fail "maximise window left it $(states)"
touch 6
desk_until lacks_state _NET_WM_STATE_MAXIMIZED_VERT || desk_fail "restore window left it $(states)"
desk_until is size 400x300 || desk_fail "restored to $(size), not 400x300"
touch 7
desk_until lacks_wm_state Normal || desk_fail "the window manager still shows the hidden window"
touch 8
desk_until [ -e 9 ] && desk_until has_state _NET_WM_STATE_HIDDEN && sleep 0.5 && has_state _NET_WM_STATE_HIDDEN ||
  desk_fail "minimise window right after show window left it $(states)"

wmctrl -i -c "$DESK_WINDOW" || desk_fail "wmctrl could not close the window"
desk_ended || desk_fail "the run did not end when its window was closed"
[ "$DESK_STATUS" = 0 ] || desk_fail "the run ended with status $DESK_STATUS"

# In full screen too the program runs on while its window is hidden or
# minimised, so that it brings the window back itself.
{ step 1; printf 'hide window\r\n'; step 2; printf 'show window\r\n'; step 3; printf 'minimise window\r\n'
  step 4; printf 'restore window\r\ndo\r\nsync\r\nloop\r\n'; } > full.kqa
rm -f [1-6]
desk_start "$zentrovex" run full.kqa
desk_window
touch 1 && desk_until is map_state IsUnMapped || desk_fail "hide window in full screen left it $(map_state)"
touch 2 && desk_until is map_state IsViewable || desk_fail "hidden in full screen, the program never showed it again"
touch 3 && desk_until has_state _NET_WM_STATE_HIDDEN || desk_fail "minimise window in full screen left it $(states)"
touch 4 && desk_until lacks_state _NET_WM_STATE_HIDDEN || desk_fail "minimised in full screen, it never came back"
wmctrl -i -c "$DESK_WINDOW" && desk_ended || desk_fail "the full-screen run did not end when its window was closed"

# The exit prompt's caption reaches the desktop as the program spelt it.
printf '%s\r\n' $'set exit prompt "Fin \xe9", "Au revoir \xe9"' > prompt.kqa
desk_start "$zentrovex" run prompt.kqa
desk_window "Fin é"
[ "$(names "$DESK_WINDOW")" = "$(named "Fin é")" ] || desk_fail "the exit prompt is named $(names "$DESK_WINDOW")"
xdotool key Return
desk_ended || desk_fail "the run did not end when its exit prompt was closed"
[ "$DESK_STATUS" = 0 ] || desk_fail "the run ended with status $DESK_STATUS"
echo "run window: title, window commands, closing and the exit prompt seen by the window manager"
