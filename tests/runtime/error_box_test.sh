#!/usr/bin/env bash
# A run in a window that ends on an error shows the error box; the process
# must still end when it is asked to stop (SIGTERM, SIGINT) and when its
# window is closed. Run with a window manager on an X server
# (tests/support/with_window_manager.sh under tests/support/with_xvfb.sh).
set -euo pipefail
zentrovex=$1
for tool in xwininfo wmctrl; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
run=
cleanup() {
  [ -n "$run" ] && kill -KILL "$run" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

printf '[SETTINGS]\r\nWINDOWMODE=1\r\n' > "$work/SETUP.INI"
printf 'print "in a window"\r\nsync rate 5000\r\n' > "$work/error.kqa"
export XDG_CONFIG_HOME="$work/config"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# The whole tree is read first: grep -q stopping early would end xwininfo by
# SIGPIPE, which pipefail would take for a missing box.
box_shown() { local tree; tree=$(xwininfo -root -tree 2> /dev/null); grep -q '"Error In Program"' <<< "$tree"; }

# Each wait lasts until its sign or 60 s (as tests/support/desktop.sh's):
# the box shows a second after the start, the run ends at once.
answer_seconds=60

# Starts the run and waits for its error box.
start_run() {
  # Started in the background, where the shell would ignore SIGINT for it.
  env --default-signal=INT "$zentrovex" run "$work/error.kqa" > /dev/null 2> "$work/err.txt" &
  run=$!
  local end=$((SECONDS + answer_seconds))
  while [ $SECONDS -lt $end ]; do
    box_shown && return 0
    kill -0 "$run" 2> /dev/null || fail "the run ended before its error box showed: $(cat "$work/err.txt")"
    sleep 0.05
  done
  fail "no error box: $(cat "$work/err.txt")"
}

# True when the run has ended.
ended() {
  local end=$((SECONDS + answer_seconds))
  while [ $SECONDS -lt $end ]; do
    kill -0 "$run" 2> /dev/null || { wait "$run" || true; run=; return 0; }
    sleep 0.05
  done
  return 1
}

for signal in TERM INT; do
  start_run
  kill -"$signal" "$run"
  ended || fail "the run did not end on SIG$signal while its error box showed"
done

start_run
# The run's own window, by its exact title (the box has another).
wmctrl -F -c "Zentrovex" || fail "wmctrl could not close the window"
ended || fail "the run did not end when its window was closed"
grep -q "Runtime Error" "$work/err.txt" || fail "no error text on stderr: $(cat "$work/err.txt")"
echo "error box: the run ends on SIGTERM, SIGINT and when its window is closed"
