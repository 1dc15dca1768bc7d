#!/usr/bin/env bash
# A mouse button and the space bar held as the window is minimised and let go
# before it is back read up once it has the focus, in a window and full
# screen; a press after that reads down and up as ever.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"
desk_key_repeat off

# The program makes the file NAME.txt once, when CONDITION first holds.
sign() { printf 'if s%s = 0 and %s then s%s = 1 : open file to write 1, "%s.txt" : close file 1\r\n' "$1" "$2" "$1" "$1"; }
for mode in window full; do
  {
    [ $mode = window ] && printf 'window on\r\n'
    printf 'sync on\r\nopen file to write 1, "ready.txt" : close file 1\r\ndo\r\nm = mouse click() : k = space key()\r\n'
    sign held 'm = 1 and k = 1'
    printf 'if key state(45) = 1 and sreport = 0 then sreport = 1 : open file to write 1, "report.txt"'
    printf ' : write file string 1, str$(m) + str$(k) : close file 1\r\n'  # what it reads when X is pressed
    sign again 'sreport = 1 and m = 1'
    sign after 'sagain = 1 and m = 0'
    printf 'sync\r\nloop\r\n'
  } > held.kqa
  rm -f ./*.txt
  desk_start "$zentrovex" run held.kqa
  desk_until test -e ready.txt || desk_fail "$mode: the program did not start"
  desk_window
  xdotool mousemove --window "$DESK_WINDOW" 100 100 mousedown 1 keydown space
  desk_until test -e held.txt || desk_fail "$mode: the button and the space bar never read down"
  xdotool windowminimize --sync "$DESK_WINDOW"
  xdotool mouseup 1 keyup space  # to no window of the run's (chained to the minimise, to it)
  xdotool windowactivate --sync "$DESK_WINDOW" 2> /dev/null || true
  desk_until sh -c '[ "$(xdotool getwindowfocus)" = "$0" ]' "$DESK_WINDOW" || desk_fail "$mode: no focus came back"
  xdotool keydown x
  desk_until test -e report.txt || desk_fail "$mode: the program did not read X"
  xdotool keyup x
  [ "$(tr -d '\r\0' < report.txt)" = 00 ] || desk_fail "$mode: mouse click() and space key() read $(cat report.txt), let go"
  xdotool mousedown 1
  desk_until test -e again.txt || desk_fail "$mode: a new press did not read down"
  xdotool mouseup 1
  desk_until test -e after.txt || desk_fail "$mode: its release did not read up"
  kill -KILL "$DESK_PID" && { wait "$DESK_PID" 2> /dev/null || true; }
done
echo "held buttons: a button and a key let go while the window was minimised read up when it comes back"
