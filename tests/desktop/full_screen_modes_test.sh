#!/usr/bin/env bash
# Every display mode the system offers can go full screen: a program in a
# window sets the mode and turns the window off, and the picture then fills
# the screen, scaled, in that mode. The screen here is 1280x800, so the
# desktop's own size is a mode of its own.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

modes=()
for size in 320x200 320x240 400x300 512x384 640x400 640x480 800x600 1024x768 1152x864 1280x960 1280x1024 1280x800; do
  for depth in 16 24 32; do modes+=("${size}x$depth"); done
done

# For each mode: back to a window, the mode, full screen, then a white
# picture until the test has looked at it. The file the program makes
# tells which mode the program itself sees.
{
  for mode in "${modes[@]}"; do printf 'data %s\r\n' "${mode//x/, }"; done
  printf 'sync on\r\n'
  printf 'for i = 1 to %d\r\n' "${#modes[@]}"
  printf 'read w, h, d\r\n'
  printf 'window on\r\nset display mode w, h, d\r\nwindow off\r\n'
  printf 'make file "seen" + str$(i) + "_" + str$(screen width()) + "x" + str$(screen height()) + "x" + str$(screen depth())\r\n'
  printf 'while file exists(str$(i)) = 0\r\n'
  printf 'ink rgb(255, 255, 255), 0\r\nbox 0, 0, w, h\r\nsync\r\n'
  printf 'endwhile\r\n'
  printf 'next i\r\n'
} > modes.kqa

screen_size() { xwininfo -root | awk '/Width/{w=$NF} /Height/{h=$NF} END{print w"x"h}'; }
window_size() { xwininfo -id "$DESK_WINDOW" | awk '/Width/{w=$NF} /Height/{h=$NF} END{print w"x"h}'; }
full_screen() { [ "$(window_size)" = "$(screen_size)" ]; }
alive() { kill -0 "$DESK_PID" 2> /dev/null; }

desk_start "$zentrovex" run modes.kqa
desk_window
i=0
for mode in "${modes[@]}"; do
  i=$((i + 1))
  read -r w h _ <<< "${mode//x/ }"
  desk_until eval '[ -e "seen${i}_$mode" ] || ! alive' || desk_fail "$mode: the program never reached it"
  alive || desk_fail "$mode: window off ended the program"
  desk_until full_screen || desk_fail "$mode: the window is $(window_size), not the screen's $(screen_size)"
  # The whole picture shows, scaled to the screen (the band beside it is
  # not counted).
  desk_wait_count FFFFFF $((w * h * 97 / 100)) "" "$w" "$h" ||
    desk_fail "$mode: the picture does not fill the screen"
  touch "$i"
done
desk_ended || desk_fail "the run did not end after the last mode"
[ "$DESK_STATUS" = 0 ] || desk_fail "the run ended with status $DESK_STATUS"
echo "full screen from each of the ${#modes[@]} display modes: the picture fills the screen"
