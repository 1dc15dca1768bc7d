#!/usr/bin/env bash
# A full-screen run draws its own pointer and moves it by the mouse's moves:
# it follows the hand however far the desktop's pointer could have gone, so
# a desktop pointer left at the screen's edge does not hold it back, and it
# stops at the edges of the picture.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

# The picture turns white once its pointer has gone 200 to the right of
# where it starts (320, 240); the run ends when the pointer then reaches
# the picture's top left corner.
{
  printf 'sync on\r\n'
  printf 'while mouse x() < 520\r\nsync\r\nendwhile\r\n'
  printf 'ink rgb(255, 255, 255), 0\r\nbox 0, 0, 640, 480\r\n'
  printf 'while mouse x() + mouse y() > 0\r\nsync\r\nendwhile\r\n'
} > pointer.kqa

# The desktop's pointer waits at the right edge of the screen, as after a
# click on something there.
xdotool mousemove 5000 300
desk_start "$zentrovex" run pointer.kqa
desk_window
white() { desk_grab "$DESK_WORK/grab.png" 64 48 && [ "$(desk_count "$DESK_WORK/grab.png" FFFFFF)" -gt 1000 ]; }
to_the_right() { xdotool mousemove_relative -- 10 0; sleep 0.05; white; }
# Twenty moves and looks at least, each a second or two on a busy machine.
DESK_TIMEOUT=120 desk_until to_the_right || desk_fail "the picture's pointer did not follow the mouse to the right"
to_the_corner() { xdotool mousemove_relative -- -400 -400; sleep 0.1; ! kill -0 "$DESK_PID" 2> /dev/null; }
desk_until to_the_corner || desk_fail "the picture's pointer did not reach the top left corner"
desk_ended
[ "$DESK_STATUS" = 0 ] || desk_fail "the run ended with status $DESK_STATUS"
echo "full-screen mouse: the picture's pointer follows the mouse's moves past the desktop's edge"
