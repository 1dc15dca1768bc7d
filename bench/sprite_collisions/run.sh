#!/usr/bin/env bash
# What one `sprite collision()` costs, in microseconds, for each binary given,
# run in turn ROUNDS times (default 5) and reported as the median of its runs:
#   scaled S  two 32 x 32 sprites drawn at S percent whose boxes overlap over
#             a quarter of each, with no pixels that meet (so the whole
#             overlap is looked at), for each S of SCALES (default 100, 5000,
#             50000 and 250000);
#   opaque    two solid 300 x 300 sprites overlapping by half;
#   packed    100 solid 128 x 128 sprites 64 apart in a 10 x 10 grid, each
#             asked about each (10,000 collisions);
#   call      `sprite exists()` in the same loop: what the loop and a call of
#             a sprite function cost around any collision.
# The program times its own collisions, as many as fill 200 ms (at least
# one round of them).
#   bench/sprite_collisions/run.sh [ZENTROVEX...]    (default: build/zentrovex)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/bench/self_timed_rounds.sh"
scales="${SCALES:-100 5000 50000 250000}"
rounds="${ROUNDS:-5}"
self_timed_start "$@"

{
  printf 'sync on : sync rate 0\r\n'
  # Only the top left pixel of the picture is solid: the second sprite's
  # lies inside the first's box, on its transparent part.
  printf 'create bitmap 1, 32, 32 : set current bitmap 1 : cls 0\r\n'
  printf 'ink rgb(255, 255, 255), 0 : dot 0, 0 : get image 1, 0, 0, 32, 32\r\n'
  printf 'create bitmap 2, 300, 300 : set current bitmap 2 : cls rgb(255, 255, 255)\r\n'
  printf 'get image 2, 0, 0, 300, 300 : get image 3, 0, 0, 128, 128\r\n'
  printf 'set current bitmap 0 : sync\r\n'
  for scale in $scales; do
    printf 'sprite 1, 0, 0, 1 : scale sprite 1, %d\r\n' "$scale"
    printf 'sprite 2, %d, %d, 1 : scale sprite 2, %d\r\n' $((16 * scale / 100)) $((16 * scale / 100)) "$scale"
    printf 'n = 0 : t = timer()\r\n'
    printf 'repeat : hit = sprite collision(1, 2) : n = n + 1 : until timer() - t >= 200\r\n'
    printf 'print "scaled_%d "; hit; " "; (timer() - t) * 1000.0 / n\r\n' "$scale"
  done
  printf 'n = 0 : t = timer()\r\n'
  printf 'repeat : hit = sprite exists(2) : n = n + 1 : until timer() - t >= 200\r\n'
  printf 'print "call "; hit; " "; (timer() - t) * 1000.0 / n\r\n'
  printf 'delete sprite 1 : delete sprite 2\r\n'
  printf 'sprite 1, 0, 0, 2 : sprite 2, 150, 150, 2\r\n'
  printf 'n = 0 : t = timer()\r\n'
  printf 'repeat : hit = sprite collision(1, 2) : n = n + 1 : until timer() - t >= 200\r\n'
  printf 'print "opaque "; hit; " "; (timer() - t) * 1000.0 / n\r\n'
  printf 'delete sprite 1 : delete sprite 2\r\n'
  printf 'for i = 0 to 99 : sprite 10 + i, (i - (i / 10) * 10) * 64, (i / 10) * 64, 3 : next i\r\n'
  printf 'n = 0 : hits = 0 : t = timer()\r\n'
  printf 'repeat\r\n'
  printf '  for i = 10 to 109 : for j = 10 to 109 : hits = hits + sprite collision(i, j) : next j : next i\r\n'
  printf '  n = n + 10000\r\n'
  printf 'until timer() - t >= 200\r\n'
  printf 'print "packed "; hits / (n / 10000); " "; (timer() - t) * 1000.0 / n\r\n'
} > collisions.kqa

printf '%-44s %-14s %6s %16s\n' binary case hits "us a collision"
self_timed_rounds collisions.kqa "$rounds" "${binaries[@]}" | while read -r binary name count value; do
  printf '%-44s %-14s %6s %16s\n' "$binary" "$name" "$count" "$value"
done
