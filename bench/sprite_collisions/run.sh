#!/usr/bin/env bash
# What one `sprite collision()` costs as the sprites are drawn larger: two
# 32 x 32 sprites whose boxes overlap over a quarter of each, with no pixels
# that meet (so the whole overlap is looked at), at each scale of SCALES
# (default 100, 5000, 50000 and 250000 percent). The program times its own
# collisions, as many as fill 200 ms (at least one), and prints the
# microseconds one took; each binary given runs in turn, in one run.
#   bench/sprite_collisions/run.sh [ZENTROVEX...]    (default: build/zentrovex)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
for i in "${!binaries[@]}"; do binaries[i]=$(readlink -f "${binaries[i]}"); done
scales="${SCALES:-100 5000 50000 250000}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

{
  printf 'sync on : sync rate 0\r\n'
  # Only the top left pixel of the picture is solid: the second sprite's
  # lies inside the first's box, on its transparent part.
  printf 'create bitmap 1, 32, 32 : set current bitmap 1 : cls 0\r\n'
  printf 'ink rgb(255, 255, 255), 0 : dot 0, 0 : get image 1, 0, 0, 32, 32\r\n'
  printf 'set current bitmap 0 : sync\r\n'
  for scale in $scales; do
    printf 'sprite 1, 0, 0, 1 : scale sprite 1, %d\r\n' "$scale"
    printf 'sprite 2, %d, %d, 1 : scale sprite 2, %d\r\n' $((16 * scale / 100)) $((16 * scale / 100)) "$scale"
    printf 'n = 0 : t = timer()\r\n'
    printf 'repeat : hit = sprite collision(1, 2) : n = n + 1 : until timer() - t >= 200\r\n'
    printf 'print "%d "; hit; " "; (timer() - t) * 1000 / n\r\n' "$scale"
  done
} > collisions.kqa

printf '%-50s %8s %4s %14s\n' binary scale hit "us a collision"
for binary in "${binaries[@]}"; do
  "$binary" run --headless collisions.kqa | while read -r scale hit micros; do
    printf '%-50s %8s %4s %14s\n' "$binary" "$scale" "$hit" "$micros"
  done
done
