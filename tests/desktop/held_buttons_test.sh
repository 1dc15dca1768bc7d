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

# Starts the program, which makes ready.txt as it begins, and finds its window.
start_program() {  # PROGRAM STEP
  rm -f ./*.txt
  desk_start "$zentrovex" run "$1"
  desk_until test -e ready.txt || desk_fail "$2: the program did not start"
  desk_window
}
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
  start_program held.kqa "$mode"
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

# In a window the program runs on behind another window: what is held there
# reads held, what is let go there reads up at once. It answers ask.txt.
{
  printf 'window on\r\nsync on\r\nopen file to write 1, "ready.txt" : close file 1\r\ndo\r\n'
  printf 'if file exists("ask.txt") then delete file "ask.txt" : open file to write 1, "answer.txt"'
  printf ' : write file string 1, str$(mouse click()) + str$(space key()) : close file 1\r\n'
  printf 'sync\r\nloop\r\n'
} > behind.kqa
start_program behind.kqa behind
xmessage -geometry 200x80+600+400 "another window" 2> /dev/null &
# xmessage names no process on its window; the X server is the test's own.
desk_until xdotool search --onlyvisible --classname xmessage > /dev/null || desk_fail "no second window showed"
other=$(xdotool search --onlyvisible --classname xmessage | head -n 1)
focus_on() {  # WINDOW
  xdotool windowactivate --sync "$1" 2> /dev/null || true
  desk_until sh -c '[ "$(xdotool getwindowfocus)" = "$0" ]' "$1" || desk_fail "behind: the focus did not go to $1"
}
reads() {  # ANSWER STEP: asks until mouse click() and space key() read ANSWER, five times at most
  local answer= asked
  for asked in 1 2 3 4 5; do
    rm -f answer.txt && : > ask.txt
    # A run that ended answers nothing: that fails at once, with its status and what it wrote.
    desk_until eval 'test -e answer.txt || ! kill -0 "$DESK_PID" 2> /dev/null' && test -e answer.txt || {
      local status=0
      kill -0 "$DESK_PID" 2> /dev/null || { wait "$DESK_PID" || status=$?; desk_fail "behind, $2: the run ended (status $status)"; }
      desk_fail "behind, $2: the program did not answer"
    }
    answer=$(tr -d '\r\0' < answer.txt) && [ "$answer" = "$1" ] && return 0
  done
  desk_fail "behind, $2: mouse click() and space key() read $answer, not $1"
}
focus_on "$DESK_WINDOW"
xdotool mousemove --window "$DESK_WINDOW" 100 100 mousedown 1 keydown space
reads 11 "pressed"
focus_on "$other"
reads 11 "still held while another window has the focus"
focus_on "$DESK_WINDOW"
reads 11 "still held when the focus is back"
focus_on "$other"
xdotool mousemove --window "$other" 20 20 mouseup 1 keyup space
reads 00 "let go while another window has the focus"
echo "held buttons: what is let go while the window is minimised or behind another reads up, what is held reads held"
