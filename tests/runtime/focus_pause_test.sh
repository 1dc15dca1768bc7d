#!/usr/bin/env bash
# A full-screen program pauses while another window has the focus and goes
# on when its window is activated again; a program in a window goes on
# regardless. Run with a window manager on an X server
# (tests/support/with_window_manager.sh under tests/support/with_xvfb.sh).
set -euo pipefail
zentrovex=$1
for tool in xdotool xmessage; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed (Debian packages xdotool, x11-utils)"; exit 77; }
done
work=$(mktemp -d)
run= other=
cleanup() {
  [ -n "$run" ] && kill -KILL "$run" 2> /dev/null || true
  [ -n "$other" ] && kill "$other" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Counts its frames at 50 a second into frames.txt.
printf '%s\r\n' 'sync on' 'sync rate 50' 'n = 0' 'do' '  n = n + 1' \
  '  if file exists("frames.txt") = 1 then delete file "frames.txt"' \
  '  open file to write 1, "frames.txt"' '  write file string 1, str$(n)' '  close file 1' \
  '  sync' 'loop' > "$work/count.kqa"
export XDG_CONFIG_HOME="$work/config"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
cd "$work"

# Each wait lasts until the program's sign or 60 s (as
# tests/support/desktop.sh's): the window shows a second after the start,
# frames come 50 a second, the focus and the end at once.
answer_seconds=60

# The last frame count the program wrote (it rewrites the file each frame).
frames() {
  local n= end=$((SECONDS + answer_seconds))
  # Between its delete and its write, for as long as a loaded machine may
  # hold the program there.
  while [ $SECONDS -lt $end ]; do
    n=$({ tr -cd 0-9 < frames.txt; } 2> /dev/null || true)
    [ -n "$n" ] && break
    sleep 0.01
  done
  [ -n "$n" ] || fail "the program wrote no frame count"
  echo "$n"
}

. "$(dirname "${BASH_SOURCE[0]}")/../support/naps.sh"

# Waits until the program has counted $1 frames more and prints how many
# milliseconds that took.
ms_for_frames() {
  local start from end=$((SECONDS + answer_seconds))
  start=$(now_ms) from=$(frames)
  while [ $(($(frames) - from)) -lt "$1" ]; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.02
  done
  echo $(($(now_ms) - start))
}

# Frames counted over $1 milliseconds.
frames_over() {
  local before
  before=$(frames)
  sleep "$(awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }')"
  echo $(($(frames) - before))
}

# The first visible window xdotool's search ($@) finds, asked again until one
# is: a window killed while the search walks the tree ends it with BadWindow.
find_window() {
  local id= end=$((SECONDS + answer_seconds))
  while [ $SECONDS -lt $end ]; do
    id=$(xdotool search --onlyvisible "$@" 2> /dev/null | head -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

# Activates window $1 until it has the focus: just after a kill the window
# manager may name the gone window active, which --sync would wait on.
activate() {
  local end=$((SECONDS + answer_seconds))
  until [ "$(xdotool getwindowfocus 2> /dev/null)" = "$1" ]; do
    [ $SECONDS -lt $end ] || return 1
    xdotool windowactivate "$1" 2> /dev/null || true
    sleep 0.05
  done
}

# Runs the program, gives the focus to another window and back, and checks
# how many frames ran meanwhile; $1 is "full screen" or "window". How long
# to watch is measured first: the time 20 frames take with the focus, on
# this machine at this moment, and a second and a half at least.
check() {
  local mode=$1 window paused took span
  rm -f frames.txt
  if [ "$mode" = window ]; then printf '[SETTINGS]\r\nWINDOWMODE=1\r\n' > SETUP.INI; else rm -f SETUP.INI; fi
  "$zentrovex" run count.kqa > /dev/null 2> err.txt &
  run=$!
  window=$(find_window --pid "$run") || fail "$mode: the program showed no window: $(cat err.txt)"
  activate "$window" || fail "$mode: the program's window did not take the focus"
  took=$(ms_for_frames 20) || fail "$mode: the program does not run: $(cat err.txt)"
  span=$took
  [ "$span" -ge 1500 ] || span=1500

  LC_ALL=C xmessage -title other "another window" &
  other=$!
  activate "$(find_window --name '^other$')" ||
    fail "$mode: the other window did not take the focus"
  # A frame begun before the focus left may still end.
  sleep "$(awk -v ms="$span" 'BEGIN { printf "%.3f", ms / 5000 }')"
  paused=$(frames_over "$span")
  echo "$mode: $paused frames in $span ms while another window had the focus (20 took $took ms with it)"
  if [ "$mode" = window ]; then
    [ "$paused" -ge 5 ] || fail "a program in a window paused while another window had the focus"
  else
    [ "$paused" -le 1 ] || fail "a full-screen program ran $paused frames while another window had the focus"
  fi

  kill "$other"; wait "$other" 2> /dev/null || true; other=
  activate "$window" || fail "$mode: the program's window did not take the focus back"
  ms_for_frames 20 > /dev/null || fail "$mode: the program did not go on after activation"

  xdotool keydown Escape; sleep 0.1; xdotool keyup Escape
  local end=$((SECONDS + answer_seconds))
  while [ $SECONDS -lt $end ]; do kill -0 "$run" 2> /dev/null || break; sleep 0.05; done
  kill -0 "$run" 2> /dev/null && fail "$mode: Escape did not end the program"
  wait "$run" || fail "$mode: the program ended with status $?: $(cat err.txt)"
  run=
}

check "full screen"
check window
echo "focus: full screen pauses while another window has the focus, a window does not"
