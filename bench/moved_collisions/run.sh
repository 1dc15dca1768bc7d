#!/usr/bin/env bash
# Frames a second of a game loop that moves 200 objects a little each frame
# and asks after each move what the object hits (`position object i` then
# `object collision(i, 0)`, the way a game loop is written), beside the same
# loop with all of them moved first and then asked (`all_moved_first`).
# The objects stand in a grid 20 apart, each of LIMBS limbs beside the last
# 2.5 apart, so each one's limbs meet those of a few neighbours. They are
# made by KINDS: spheres (the collision library's shapes), cubes (a box
# around each limb) and loaded models (a model file of LIMBS frames, a box
# around each). Each case is named LOOP:KIND:LIMBS. The camera looks away,
# so the frames cost what the collisions do. Each binary given runs in
# turn, ROUNDS times (default 3); the median of its runs is reported.
#   bench/moved_collisions/run.sh [ZENTROVEX...]    (default: build/zentrovex)
#   KINDS="sphere cube model" LIMBS="1 10" ROUNDS=3 (the defaults)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/bench/self_timed_rounds.sh"
kinds="${KINDS:-sphere cube model}"
limbs="${LIMBS:-1 10}"
rounds="${ROUNDS:-3}"
self_timed_start "$@"

# A model of N frames, each a cube 2 wide, the first at its origin and
# each next one 2.5 further along x.
model_file() {
  local n=$1 frame
  printf 'xof 0302txt 0032\r\n'
  for ((frame = 0; frame < n; frame++)); do
    printf 'Frame limb%d {\r\n FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, %s,0,0,1;; }\r\n' \
      "$frame" "$(awk -v f="$frame" 'BEGIN { print f * 2.5 }')"
    printf ' Mesh cube { 8; -1;-1;-1;, 1;-1;-1;, 1;1;-1;, -1;1;-1;, -1;-1;1;, 1;-1;1;, 1;1;1;, -1;1;1;;\r\n'
    printf '  12; 3;0,2,1;, 3;0,3,2;, 3;4,5,6;, 3;4,6,7;, 3;0,1,5;, 3;0,5,4;,\r\n'
    printf '  3;3,7,6;, 3;3,6,2;, 3;0,4,7;, 3;0,7,3;, 3;1,2,6;, 3;1,6,5;; }\r\n}\r\n'
  done
}

# The 200 objects of a kind, each of `n` limbs.
make_objects() {
  local kind=$1 n=$2
  if [ "$kind" = model ]; then
    model_file "$n" > "limbs$n.x"
    printf 'for i = 1 to 200 : load object "limbs%d.x", i : next i\r\n' "$n"
  else
    printf 'make object %s 9999, 2 : make mesh from object 1, 9999 : delete object 9999\r\n' "$kind"
    printf 'for i = 1 to 200\r\n'
    printf '  make object %s i, 2\r\n' "$kind"
    printf '  for l = 1 to %d : add limb i, l, 1 : offset limb i, l, l * 2.5, 0, 0 : next l\r\n' $((n - 1))
    printf 'next i\r\n'
    printf 'delete mesh 1\r\n'
  fi
}

{
  printf 'sync on : sync rate 0 : hide mouse : disable auto camera\r\n'
  printf 'dim x#(200) : dim z#(200)\r\n'
  printf 'position camera 0, 0, -1000 : point camera 0, 0, -2000\r\n'
  for kind in $kinds; do
    for n in $limbs; do
      make_objects "$kind" "$n"
      printf 'for i = 1 to 200\r\n'
      printf '  x#(i) = (i - ((i - 1) / 20) * 20) * 20.0 : z#(i) = ((i - 1) / 20) * 20.0\r\n'
      printf '  position object i, x#(i), 0, z#(i)\r\n'
      printf 'next i\r\n'
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
        printf 'print "%s:%s:%d "; hits / frames; " "; frames * 1000.0 / (timer() - t)\r\n' "$loop" "$kind" "$n"
      done
      printf 'for i = 1 to 200 : delete object i : next i\r\n'
    done
  done
} > moves.kqa

printf '%-44s %-26s %9s %18s\n' binary case hitting "frames a second"
self_timed_rounds moves.kqa "$rounds" "${binaries[@]}" | while read -r binary name count value; do
  printf '%-44s %-26s %9s %18s\n' "$binary" "$name" "$count" "$value"
done
