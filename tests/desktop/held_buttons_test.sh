#!/usr/bin/env bash
# A mouse button and a key held while the window is minimised, and let go
# before it comes back, read up once it has the focus again, in a window and
# full screen: `mouse click()` no longer says 1 until the next click. A
# press after that reads down and up as ever.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"
desk_key_repeat off

# Each sign is a file of that name, made once. The program says "held" when
# it reads the button and the space bar down, writes what it reads in
# report.txt when the X key is pressed, then "again" and "after" when the
# button reads down and then up.
sign() { printf 'if s%s = 0 and %s then s%s = 1 : open file to write 1, "%s.txt" : close file 1\r\n' "$1" "$2" "$1" "$1"; }
for mode in window full; do
  {
    [ $mode = window ] && printf 'window on\r\n'
    printf 'sync on\r\n'
    printf 'open file to write 1, "ready.txt" : close file 1\r\n'
    printf 'do\r\nm = mouse click() : k = space key()\r\n'
    sign held 'm = 1 and k = 1'
    printf 'if sreport = 0 and key state(45) = 1\r\nsreport = 1\r\n'
    printf 'open file to write 1, "report.txt" : write file string 1, str$(m) + str$(k) : close file 1\r\nendif\r\n'
    sign again 'sreport = 1 and m = 1'
    sign after 'sagain = 1 and m = 0'
    printf 'sync\r\nloop\r\n'
  } > held.kqa
  rm -f ./*.txt
  desk_start "$zentrovex" run held.kqa
  desk_until test -e ready.txt || desk_fail "$mode: the program did not start"
  desk_window
  xdotool mousemove --window "$DESK_WINDOW" 100 100 mousedown 1 keydown space
  desk_until test -e held.txt || desk_fail "$mode: the button and the space bar held never read down"
  xdotool windowminimize --sync "$DESK_WINDOW"
  xdotool mouseup 1 keyup space
  xdotool windowactivate --sync "$DESK_WINDOW" 2> /dev/null || true
  focused() { [ "$(xdotool getwindowfocus)" = "$DESK_WINDOW" ]; }
  desk_until focused || desk_fail "$mode: the window did not get the focus back"
  xdotool keydown x
  desk_until test -e report.txt || desk_fail "$mode: the program did not read X"
  xdotool keyup x
  report=$(tr -d '\r\0' < report.txt)
  [ "$report" = 00 ] || desk_fail "$mode: mouse click() and space key() read $report, with both let go"
  xdotool mousedown 1
  desk_until test -e again.txt || desk_fail "$mode: a new press did not read down"
  xdotool mouseup 1
  desk_until test -e after.txt || desk_fail "$mode: its release did not read up"
  kill -KILL "$DESK_PID"
  { wait "$DESK_PID"; } 2> /dev/null || true
  DESK_PID=
done
echo "held buttons: a button and a key let go while the window was minimised read up when it comes back"
