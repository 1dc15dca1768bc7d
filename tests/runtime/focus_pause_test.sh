#!/usr/bin/env bash
# A full-screen program pauses while another window has the focus and goes
# on when its window is activated again; a program in a window goes on
# regardless. Run with a window manager on an X server
# (tests/support/with_window_manager.sh under tests/support/with_xvfb.sh).
set -euo pipefail
zentrovex=$1
command -v xmessage > /dev/null || { echo "SKIP: xmessage is not installed (Debian package x11-utils)"; exit 77; }
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"
other=
trap 'kill $other 2> /dev/null || true; desk_cleanup' EXIT

# Counts its frames at 50 a second into frames.txt.
printf '%s\r\n' 'sync on' 'sync rate 50' 'n = 0' 'do' '  n = n + 1' \
  '  if file exists("frames.txt") = 1 then delete file "frames.txt"' \
  '  open file to write 1, "frames.txt"' '  write file string 1, str$(n)' '  close file 1' \
  '  sync' 'loop' > count.kqa

# The last frame count the program wrote (it rewrites the file each frame),
# awaited between its delete and its write.
counted() { n=$({ tr -cd 0-9 < frames.txt; } 2> /dev/null || true); [ -n "$n" ]; }
frames() { desk_until counted || desk_fail "the program wrote no frame count"; echo "$n"; }

# Waits until the program has counted $1 frames more and prints how many
# milliseconds that took.
ms_for_frames() {
  local start from
  start=$(now_ms) from=$(frames)
  desk_until eval '[ $(($(frames) - from)) -ge '"$1"' ]' || return 1
  echo $(($(now_ms) - start))
}

# Frames counted over $1 milliseconds.
frames_over() {
  local before
  before=$(frames)
  sleep "$(awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }')"
  echo $(($(frames) - before))
}

# Activates window $1 until it has the focus: just after a kill the window
# manager may name the gone window active, which --sync would wait on.
has_focus() { xdotool windowactivate "$1" 2> /dev/null || true; [ "$(xdotool getwindowfocus 2> /dev/null)" = "$1" ]; }
activate() { desk_until has_focus "$1"; }
other_shown() { other_id=$(xdotool search --onlyvisible --name '^other$' 2> /dev/null | head -1) && [ -n "$other_id" ]; }

# Runs the program, gives the focus to another window and back, and checks
# how many frames ran meanwhile; $1 is "full screen" or "window". How long
# to watch is measured first: the time 20 frames take with the focus, on
# this machine at this moment, and a second and a half at least.
check() {
  local mode=$1 other_id paused took span
  rm -f frames.txt
  if [ "$mode" = window ]; then printf '[SETTINGS]\r\nWINDOWMODE=1\r\n' > SETUP.INI; else rm -f SETUP.INI; fi
  desk_start "$zentrovex" run count.kqa
  desk_window
  activate "$DESK_WINDOW" || desk_fail "$mode: the program's window did not take the focus"
  took=$(ms_for_frames 20) || desk_fail "$mode: the program does not run"
  span=$took
  [ "$span" -ge 1500 ] || span=1500

  LC_ALL=C xmessage -title other "another window" &
  other=$!
  desk_until other_shown && activate "$other_id" || desk_fail "$mode: the other window did not take the focus"
  # A frame begun before the focus left may still end.
  sleep "$(awk -v ms="$span" 'BEGIN { printf "%.3f", ms / 5000 }')"
  paused=$(frames_over "$span")
  echo "$mode: $paused frames in $span ms while another window had the focus (20 took $took ms with it)"
  if [ "$mode" = window ]; then
    [ "$paused" -ge 5 ] || desk_fail "a program in a window paused while another window had the focus"
  else
    [ "$paused" -le 1 ] || desk_fail "a full-screen program ran $paused frames while another window had the focus"
  fi

  kill "$other"; wait "$other" 2> /dev/null || true; other=
  activate "$DESK_WINDOW" || desk_fail "$mode: the program's window did not take the focus back"
  ms_for_frames 20 > /dev/null || desk_fail "$mode: the program did not go on after activation"

  desk_press Escape
  desk_ended || desk_fail "$mode: Escape did not end the program"
  [ "$DESK_STATUS" = 0 ] || desk_fail "$mode: the program ended with status $DESK_STATUS"
}

check "full screen"
check window
echo "focus: full screen pauses while another window has the focus, a window does not"
