#!/usr/bin/env bash
# With BEST3DCARD=**ask** remembered, the first run shows what the display
# card supports, waits for a key, remembers the card and goes on; the next
# run shows nothing. Run with a window manager on an X server
# (tests/support/with_window_manager.sh under tests/support/with_xvfb.sh, a 1024x768 screen).
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"
mkdir -p "$XDG_CONFIG_HOME/zentrovex"
printf '[ZentrovexStateData]\r\nBEST3DCARD=**ask**\r\n' > "$XDG_CONFIG_HOME/zentrovex/WIN.INI"
printf '%s\r\n' 'open file to write 1, "ran.txt"' 'write file string 1, "ran"' 'close file 1' 'do' 'sync' 'loop' > ask.kqa

# The colours on the screen, as RRGGBB.
screen_colours() {
  import -window root screen.png 2> /dev/null || return 0
  convert screen.png -unique-colors txt:- | grep -o '#[0-9A-F]\{6\}' | tr -d '#'
}
ran() { [ -e ran.txt ]; }

desk_start "$zentrovex" run ask.kqa
# The screen comes after the probe and two seconds' pause.
probe_shown() {
  colours=$(screen_colours)
  grep -q 404040 <<< "$colours" && grep -q FFC028 <<< "$colours" && return 0
  kill -0 "$DESK_PID" 2> /dev/null || desk_fail "the run ended before the probe screen showed"
  return 1
}
DESK_TIMEOUT=$((2 + DESK_ANSWER_SECONDS)) desk_until probe_shown ||
  desk_fail "the probe screen was not painted (colours: $(tr '\n' ' ' <<< "$colours"))"
# Its texts: the card and its capabilities in white, "Yes" in yellow, the
# prompt in orange; its frame a one-pixel grey line inside the box, which
# is 300 by 200, centred in the full-screen window less its margins.
for colour in FFFFFF FFFF00 F09614; do
  grep -q "$colour" <<< "$colours" || desk_fail "the probe screen lacks the colour $colour"
done
frame=$(convert screen.png -format '%[hex:p{365,387}]' info:)
[ "${frame:0:6}" = 404040 ] || desk_fail "no grey frame at 365, 387 (found $frame)"
[ ! -e ran.txt ] || desk_fail "the program ran before a key was pressed"

desk_window
desk_press space
desk_until ran || desk_fail "the program did not go on after the key"
grep -q '^BEST3DCARD=Primary Display Driver' "$XDG_CONFIG_HOME/zentrovex/WIN.INI" || desk_fail "the card was not remembered"
grep -q '^BEST3DDEPTH=16' "$XDG_CONFIG_HOME/zentrovex/WIN.INI" || desk_fail "the depth was not remembered"
desk_press Escape
desk_ended || desk_fail "the program did not end on Escape"
[ "$DESK_STATUS" = 0 ] || desk_fail "the run ended with status $DESK_STATUS"

# Once chosen, the card is taken without a screen: the program runs at once.
rm -f ran.txt
desk_start "$zentrovex" run ask.kqa
desk_until ran || desk_fail "the second run did not go straight to the program"
desk_window
desk_press Escape
desk_ended || desk_fail "the second run did not end on Escape"
echo "card choice: the probe screen shows once, waits for a key and the program goes on"
