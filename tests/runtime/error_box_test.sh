#!/usr/bin/env bash
# A run in a window that ends on an error shows the error box; the process
# must still end when it is asked to stop (SIGTERM, SIGINT) and when its
# window is closed. Run with a window manager on an X server
# (tests/support/with_window_manager.sh under tests/support/with_xvfb.sh).
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"
DESK_BOX_AWAITED=1
printf '[SETTINGS]\r\nWINDOWMODE=1\r\n' > SETUP.INI
printf 'print "in a window"\r\nsync rate 5000\r\n' > error.kqa

# The whole tree is read first: grep -q stopping early would end xwininfo by
# SIGPIPE, which pipefail would take for a missing box.
box_shown() { local tree; tree=$(xwininfo -root -tree 2> /dev/null); grep -q '"Error In Program"' <<< "$tree"; }
ended() { ! kill -0 "$DESK_PID" 2> /dev/null; }
# Starts the run and waits for its error box.
start_run() {
  desk_start "$zentrovex" run error.kqa
  desk_until eval 'box_shown || ended' || desk_fail "no error box"
  ! ended || desk_fail "the run ended before its error box showed"
}

for signal in TERM INT; do
  start_run
  kill -"$signal" "$DESK_PID"
  desk_ended || desk_fail "the run did not end on SIG$signal while its error box showed"
done

start_run
# The run's own window, by its exact title (the box has another).
wmctrl -F -c "Zentrovex" || desk_fail "wmctrl could not close the window"
desk_ended || desk_fail "the run did not end when its window was closed"
grep -q "Runtime Error" err.txt || desk_fail "no error text on stderr"
echo "error box: the run ends on SIGTERM, SIGINT and when its window is closed"
