#!/usr/bin/env bash
# Frames a second of a game loop that moves 200 objects of LIMBS limbs
# (default 10) a little each frame and asks after each move what the object
# hits (`position object i` then `object collision(i, 0)`, the way a game
# loop is written), beside the same loop with all of them moved first and
# then asked (`all_moved_first`). The objects (spheres) stand in a grid 20 apart,
# each limb a sphere of 2 beside the last, so each one's limbs meet those of
# a few neighbours. The camera looks away, so the frames cost what the
# collisions do. Each binary given runs in turn, ROUNDS times (default 3);
# the median of its runs is reported.
#   bench/moved_collisions/run.sh [ZENTROVEX...]    (default: build/zentrovex)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/bench/self_timed_rounds.sh"
limbs="${LIMBS:-10}"
rounds="${ROUNDS:-3}"
self_timed_start "$@"

{
  printf 'sync on : sync rate 0 : hide mouse : disable auto camera\r\n'
  printf 'make object sphere 9999, 2 : make mesh from object 1, 9999 : delete object 9999\r\n'
  printf 'dim x#(200) : dim z#(200)\r\n'
  printf 'for i = 1 to 200\r\n'
  printf '  make object sphere i, 2\r\n'
  printf '  for l = 1 to %d : add limb i, l, 1 : offset limb i, l, l * 2.5, 0, 0 : next l\r\n' $((limbs - 1))
  printf '  x#(i) = (i - ((i - 1) / 20) * 20) * 20.0 : z#(i) = ((i - 1) / 20) * 20.0\r\n'
  printf '  position object i, x#(i), 0, z#(i)\r\n'
  printf 'next i\r\n'
  printf 'position camera 0, 0, -1000 : point camera 0, 0, -2000\r\n'
  for loop in move_then_test all_moved_first; do
    printf 'frames = 0 : hits = 0 : t = timer()\r\n'
    printf 'repeat\r\n'
    printf '  s# = (frames - (frames / 2) * 2) * 0.5\r\n'
    if [ "$loop" = move_then_test ]; then
      printf '  for i = 1 to 200 : position object i, x#(i) + s#, 0, z#(i) : hits = hits + (object collision(i, 0) > 0) : next i\r\n'
    else
      printf '  for i = 1 to 200 : position object i, x#(i) + s#, 0, z#(i) : next i\r\n'
      printf '  for i = 1 to 200 : hits = hits + (object collision(i, 0) > 0) : next i\r\n'
    fi
    printf '  sync : frames = frames + 1\r\n'
    printf 'until timer() - t >= 1500 and frames >= 2\r\n'
    printf 'print "%s "; hits / frames; " "; frames * 1000.0 / (timer() - t)\r\n' "$loop"
  done
} > moves.kqa

printf '%-44s %-16s %9s %18s\n' binary loop hitting "frames a second"
self_timed_rounds moves.kqa "$rounds" "${binaries[@]}" | while read -r binary name count value; do
  printf '%-44s %-16s %9s %18s\n' "$binary" "$name" "$count" "$value"
done
