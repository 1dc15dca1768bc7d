#!/usr/bin/env bash
# Opens the real SDL window under a virtual X server, runs a short program
# in it and closes cleanly. Skipped (status 77) where Xvfb is missing.
set -euo pipefail
zentrovex=$1
with_xvfb="$(dirname "$0")/../support/with_xvfb.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '[SETTINGS]\r\nWINDOWMODE=1\r\n' > "$work/SETUP.INI"
printf 'print "in a window"\r\nwait 100\r\nsync\r\nend\r\n' > "$work/window.kqa"
# Keep the user's remembered display card out of it.
export XDG_CONFIG_HOME="$work/config"
# Under the leak checker: the desktop bus and graphics driver libraries that
# SDL loads (and unloads, so their frames cannot even be named) keep buffers
# until exit. None of that is ours, and every other test checks our leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
set +e
out=$(ZV_XVFB_SCREEN=800x600x24 "$with_xvfb" "$zentrovex" run "$work/window.kqa" 2>"$work/err.txt")
status=$?
set -e
[ "$status" -ne 77 ] || { echo "$out"; exit 77; }
if [ "$status" -ne 0 ]; then
  echo "FAIL: exit status $status: $(cat "$work/err.txt")" >&2
  exit 1
fi
# With a real window the console is not echoed: output here would mean the
# run fell back to headless.
if [ -n "$out" ]; then
  echo "FAIL: no window was opened (the run went headless): $out" >&2
  exit 1
fi
echo "window under Xvfb: opened, ran and closed"
