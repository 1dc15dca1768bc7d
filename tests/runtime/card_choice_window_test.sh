#!/usr/bin/env bash
# With BEST3DCARD=**ask** remembered, the first run shows what the display
# card supports, waits for a key, remembers the card and goes on; the next
# run shows nothing. Run with a window manager on an X server
# (tests/support/with_window_manager.sh under tests/support/with_xvfb.sh, a 1024x768 screen).
set -euo pipefail
zentrovex=$1
for tool in xdotool import convert; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed (Debian packages xdotool, imagemagick)"; exit 77; }
done
work=$(mktemp -d)
run=
cleanup() {
  [ -n "$run" ] && kill -KILL "$run" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export XDG_CONFIG_HOME="$work/config"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
mkdir -p "$XDG_CONFIG_HOME/zentrovex"
printf '[ZentrovexStateData]\r\nBEST3DCARD=**ask**\r\n' > "$XDG_CONFIG_HOME/zentrovex/WIN.INI"
printf '%s\r\n' 'open file to write 1, "ran.txt"' 'write file string 1, "ran"' 'close file 1' 'do' 'sync' 'loop' > "$work/ask.kqa"
cd "$work"

# The colours on the screen, as RRGGBB.
screen_colours() {
  import -window root screen.png 2> /dev/null || return 0
  convert screen.png -unique-colors txt:- | grep -o '#[0-9A-F]\{6\}' | tr -d '#'
}

# A key held for a moment, as fingers press it: a press and release in the
# same instant is over before the screen looks at the keyboard.
press() {
  xdotool keydown "$1"
  sleep 0.1
  xdotool keyup "$1"
}

# Each wait below lasts until the program's sign or 60 s more than the
# system takes (as tests/support/desktop.sh's): the probe screen shows two
# seconds after the start (extra=2), the rest at once.
until_done() {
  local end=$((SECONDS + ${extra:-0} + 60))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.05
  done
}
ran() { [ -e ran.txt ]; }
ended() { until_done eval '! kill -0 "$run" 2> /dev/null'; }

"$zentrovex" run ask.kqa > /dev/null 2> err.txt &
run=$!
# The screen comes after the probe and two seconds' pause.
probe_shown() {
  colours=$(screen_colours)
  grep -q 404040 <<< "$colours" && grep -q FFC028 <<< "$colours" && return 0
  kill -0 "$run" 2> /dev/null || fail "the run ended before the probe screen showed: $(cat err.txt)"
  return 1
}
extra=2 until_done probe_shown || fail "the probe screen was not painted (colours: $(tr '\n' ' ' <<< "$colours"))"
# Its texts: the card and its capabilities in white, "Yes" in yellow, the
# prompt in orange; its frame a one-pixel grey line inside the box, which
# is 300 by 200, centred in the full-screen window less its margins.
for colour in FFFFFF FFFF00 F09614; do
  grep -q "$colour" <<< "$colours" || fail "the probe screen lacks the colour $colour"
done
frame=$(convert screen.png -format '%[hex:p{365,387}]' info:)
[ "${frame:0:6}" = 404040 ] || fail "no grey frame at 365, 387 (found $frame)"
[ ! -e ran.txt ] || fail "the program ran before a key was pressed"

window=$(xdotool search --onlyvisible --pid "$run" | head -1)
xdotool windowactivate --sync "$window"
press space
until_done ran || fail "the program did not go on after the key"
grep -q '^BEST3DCARD=Primary Display Driver' "$XDG_CONFIG_HOME/zentrovex/WIN.INI" || fail "the card was not remembered"
grep -q '^BEST3DDEPTH=16' "$XDG_CONFIG_HOME/zentrovex/WIN.INI" || fail "the depth was not remembered"
press Escape
ended || fail "the program did not end on Escape"
wait "$run" || fail "the run ended with status $?: $(cat err.txt)"
run=

# Once chosen, the card is taken without a screen: the program runs at once.
rm -f ran.txt
"$zentrovex" run ask.kqa > /dev/null 2> err.txt &
run=$!
until_done ran || fail "the second run did not go straight to the program"
xdotool windowactivate --sync "$(xdotool search --onlyvisible --pid "$run" | head -1)"
press Escape
ended || fail "the second run did not end on Escape"
run=
echo "card choice: the probe screen shows once, waits for a key and the program goes on"
