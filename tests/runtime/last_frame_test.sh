#!/usr/bin/env bash
# What a run leaves when it stops: `--frames N` runs N frames of the
# program's own (switching the refresh mode is none) and the screenshot shows
# the last of them as the program drew it; the end of a program carries out
# the saves it queued, and one that cannot write says so.
set -euo pipefail
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
cd "$work"

# Writes the program from its lines (each argument one line).
program() {
  local file=$1
  shift
  printf '%s\r\n' "$@" > "$file"
}
run() { "$zentrovex" run --headless "$@"; }

# Printing and syncing once a frame: ten frames print 1 to 10, and show the
# same picture as the program that prints ten times and ends.
program counting.kqa 'sync on' 'i = 1' 'do' 'print i' 'sync' 'inc i' 'loop'
printed=$(run --frames 10 --screenshot counting.png counting.kqa | tr '\n' ' ')
[ "$printed" = "1 2 3 4 5 6 7 8 9 10 " ] || fail "ten frames printed: $printed"
program ten.kqa 'sync on' 'for i = 1 to 10' 'print i' 'sync' 'next i' 'end'
run --screenshot ten.png ten.kqa > /dev/null
cmp -s counting.png ten.png || fail "the tenth frame does not show what the program drew"

# Drawn and synced once, then waiting: the first frame and the second show
# the drawing, as the run that ends after it does; nothing drawn differs.
program waits.kqa 'sync on' 'ink rgb(255, 255, 255), 0' 'box 0, 0, 100, 100' 'sync' 'wait 5000'
program drawn.kqa 'sync on' 'ink rgb(255, 255, 255), 0' 'box 0, 0, 100, 100' 'sync' 'end'
program blank.kqa 'sync on' 'sync' 'end'
run --screenshot drawn.png drawn.kqa
run --screenshot blank.png blank.kqa
cmp -s drawn.png blank.png && fail "the drawing does not show at all"
for frames in 1 2; do
  run --frames "$frames" --screenshot "waits$frames.png" waits.kqa
  cmp -s "waits$frames.png" drawn.png || fail "--frames $frames does not show the drawing"
done

# A HUD drawn every frame, at slot i of a row of 20-pixel slots in frame
# i + 1: the screenshot of frame N shows the HUD of frame N alone, as the
# program drew it, and no HUD of an earlier frame drawn twice. Each variant
# runs full screen (a flip chain) and in a window: the screen cleared with
# `clear screen and depth` (at once, so only the 2D drawing after it
# counts), before or after the sprites, and a 3D scene on its backdrop with
# the HUD after the sprites.
program slots.kqa 'set display mode 640, 480, 32' 'load bitmap "shot.png", 1' 'make memblock from bitmap 1, 1' \
  'for s = 0 to 11' 'c = memblock dword(1, 12 + (5 * 640 + s * 20 + 5) * 4)' \
  'if rgb red(c) > 0 and rgb green(c) > 0 and rgb blue(c) = 0 then print s; " ";' 'next s' 'print'
hud() {
  local name=$1 window=$2 setup=$3 each_frame=$4
  program "$name.kqa" 'sync on' "$window" 'hide mouse' "$setup" 'i = 0' 'do' "$each_frame" \
    'ink rgb(255, 255, 0), 0' 'box i * 20, 0, i * 20 + 10, 10' 'inc i' 'sync' 'loop'
}
cube='make object cube 1, 10 : position object 1, 0, 0, 30 : position camera 0, 0, 0 : point camera 0, 0, 30'
for place in full window; do
  on=$([ $place = window ] && echo 'window on' || echo 'rem full screen')
  hud "clear_$place" "$on" 'rem the queue before the program' 'clear screen and depth'
  hud "after_sprites_$place" "$on" 'draw queue after sprites' 'clear screen and depth'
  hud "scene_$place" "$on" "$cube : colour backdrop rgb(0, 0, 128) : draw queue after sprites" 'turn object left 1, 5'
done
# Drawn after the sprites on a flip chain, each frame's HUD is drawn once
# on each buffer: the frame shows its own and the one before, as the window
# does full screen.
while read -r name frames slots; do
  run --frames "$frames" --screenshot shot.png "$name.kqa"
  shown=$(run slots.kqa | sed 's/ *$//')
  [ "$shown" = "$slots" ] || fail "$name, $frames frames: the screenshot shows the HUD of slots '$shown', not '$slots'"
done << 'EOF_CASES'
clear_full 3 2
clear_window 3 2
clear_full 4 3
after_sprites_full 3 1 2
after_sprites_window 3 2
scene_full 3 2
scene_window 3 2
scene_full 6 5
EOF_CASES

# An image saved just before the end is written; one that cannot be written
# is a warning that names it.
program saved.kqa 'sync on' 'box 0, 0, 8, 8' 'get image 1, 0, 0, 8, 8' 'save image "saved.bmp", 1' 'end'
run saved.kqa
[ -s saved.bmp ] || fail "the image saved before the end was not written"
program lost.kqa 'sync on' 'box 0, 0, 8, 8' 'get image 1, 0, 0, 8, 8' 'save image "missing/lost.bmp", 1'
set +e
run lost.kqa 2> err.txt
status=$?
set -e
[ "$status" -ne 0 ] || fail "a save that failed at the end ended the run with status 0"
grep -qF 'Runtime Warning : Could not write to the file "missing/lost.bmp": no such file or directory. (line 4: save image)' err.txt ||
  fail "the failed save at the end said: $(cat err.txt)"
echo "the last frame is the program's own and its queued saves are carried out"
