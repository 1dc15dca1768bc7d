#!/usr/bin/env bash
# Runs a command on a virtual X server of its own (screen 1024x768x24, or
# ZV_XVFB_SCREEN) and stops the server afterwards. The server picks a free
# display number itself (-displayfd), so tests started side by side never
# share one, as xvfb-run's guessed numbers could. Exits 77 (skipped) when
# Xvfb is missing.
#
# Its keys do not repeat: a key that xdotool holds for a moment would repeat
# where a loaded machine delays the release past the repeat delay, and the
# test would see keys nobody typed. A test of repeating keys sets
# ZV_XVFB_KEY_REPEAT=on, or turns it on for a while with `xset r on`.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/naps.sh"
if ! command -v Xvfb > /dev/null; then
  echo "SKIP: Xvfb is not installed (Debian package xvfb)"
  exit 77
fi
dir=$(mktemp -d)
# Without -noreset the server starts over each time its last client leaves,
# and a client that connects meanwhile (the next xdotool, or the program
# the test just started) is lost: it waits for an answer for ever, or
# cannot open the display at all.
repeat=-r
[ "${ZV_XVFB_KEY_REPEAT:-off}" = on ] && repeat=r
Xvfb -displayfd 3 -noreset "$repeat" -screen 0 "${ZV_XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3> "$dir/display" 2> "$dir/log" &
server=$!
stop() {
  kill "$server" 2> /dev/null || true
  wait "$server" 2> /dev/null || true
  rm -rf "$dir"
}
trap stop EXIT
# The server writes its display number once it is listening. A start takes
# a moment, a loaded machine's many times that: only a hang reaches the
# limit.
deadline=$((SECONDS + 120))
while [ $SECONDS -lt $deadline ]; do
  if grep -q . "$dir/display" 2> /dev/null; then break; fi
  if ! kill -0 "$server" 2> /dev/null; then break; fi
  sleep 0.05
done
number=$(head -n 1 "$dir/display" 2> /dev/null || true)
if [ -z "$number" ]; then
  echo "the virtual X server did not start:" >&2
  cat "$dir/log" >&2
  exit 1
fi
export DISPLAY=":$number"
set +e
"$@"
status=$?
set -e
exit $status
