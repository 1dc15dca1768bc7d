#!/usr/bin/env bash
# What a run saves of its screen is what its window shows. A screen saved
# after `sync on` holds the drawing done before the save, as the window's
# frame does. A HUD drawn every frame over a turning 3D scene (after the
# sprites) shows once in every frame the window presents, full screen and
# in a window, and the screenshot of `--frames N` shows frame N's HUD alone,
# as the window showed it.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

# Full red in the 16-bit screen's own precision, in a saved file.
is_red() { [[ "$(desk_colour "$1" 150 150)" =~ ^[fF][0-9a-fA-F]0000$ ]]; }

# ---- A screen saved after sync on ------------------------------------------------
printf '%s\r\n' 'sync on' 'hide mouse' 'ink rgb(255, 0, 0), 0' 'box 100, 100, 200, 200' 'save bitmap "screen.bmp"' \
  'sync' 'do' 'sync' 'loop' > saved.kqa
desk_start "$zentrovex" run saved.kqa
desk_window
desk_until test -s screen.bmp || desk_fail "the screen was not saved"
desk_wait_count ff0000 5000 "" 640 480 || desk_fail "the window does not show the red box"
# Picture tools check a BMP file's size against its header.
convert screen.bmp -depth 8 saved.png 2> convert.txt || desk_fail "the saved screen does not read: $(cat convert.txt)"
is_red saved.png || desk_fail "the saved screen shows $(desk_colour saved.png 150 150) where the window shows the red box"
kill "$DESK_PID"
desk_ended || true

# ---- A HUD over a turning scene ---------------------------------------------------
# The HUD of frame i + 1 is a yellow box in slot i mod 12 of a row of
# 20-pixel slots along the top.
slots() {
  local slot colour shown=""
  for slot in $(seq 0 11); do
    colour=$(desk_colour "$1" $((slot * 20 + 5)) 5)
    if [ "${colour,,}" = ffff00 ]; then shown="$shown $slot"; fi
  done
  echo "${shown# }"
}
hud() {
  printf '%s\r\n' 'sync on' "$1" 'hide mouse' 'make object cube 1, 10' 'position object 1, 0, 0, 30' \
    'position camera 0, 0, 0' 'point camera 0, 0, 30' 'colour backdrop rgb(0, 0, 128)' 'draw queue after sprites' \
    'i = 0' 'do' 'turn object left 1, 5' 'ink rgb(255, 255, 0), 0' 's = i - (i / 12) * 12' \
    'box s * 20, 0, s * 20 + 10, 10' 'inc i' 'sync' 'loop'
}
for place in full window; do
  if [ $place = window ]; then hud 'window on' > hud.kqa; else hud 'rem full screen' > hud.kqa; fi
  desk_start "$zentrovex" run hud.kqa
  if [ $place = window ]; then
    desk_until desk_find_window || desk_fail "no window for the HUD in a window"
  else
    desk_window
  fi
  desk_wait_count ffff00 50 "240x12+0+0" 640 480 || desk_fail "$place: the window shows no HUD"
  for k in 1 2 3 4 5; do
    # The window's picture brought back to the program's 640 x 480.
    desk_grab "grab$k.png" 640 480 || desk_fail "$place: the window could not be read"
    shown=$(slots "grab$k.png")
    [ "$(wc -w <<< "$shown")" = 1 ] || desk_fail "$place: the window shows the HUD in slots '$shown'"
  done
  kill "$DESK_PID"
  desk_ended || true
  for frames in 7 12; do
    "$zentrovex" run --frames $frames --screenshot shot.png hud.kqa 2> err.txt || desk_fail "$place: $(cat err.txt)"
    shown=$(slots shot.png)
    [ "$shown" = $((frames - 1)) ] || desk_fail "$place: the screenshot of frame $frames shows the HUD in slots '$shown'"
  done
done
echo "the saved screen and the screenshot show what the window showed"
