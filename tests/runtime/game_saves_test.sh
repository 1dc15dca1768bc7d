#!/usr/bin/env bash
# What a built game ships and keeps: a game that carries a file and then
# writes, replaces or deletes it keeps what it wrote, in the same run, in
# the next and in a later build of it; hidden files and folders stay out of the game; a folder reached
# through a link goes in, and a link that leads back up ends no build.
set -euo pipefail
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
crlf() { printf '%s\r\n' "$@"; }

project="$work/project"
mkdir -p "$project/.config/app" "$work/shared/deep"
printf 'old\r\n' > "$project/data.txt"
printf 'carried\r\n' > "$project/gone.txt"
printf 'SECRET-IN-HIDDEN-FOLDER' > "$project/.config/app/secret.cfg"
printf 'SECRET-HIDDEN-FILE' > "$project/.env.ini"
printf 'LEVEL-THROUGH-LINK\r\n' > "$work/shared/deep/level1.txt"
ln -s ../shared "$project/levels"
ln -s ../../shared "$work/shared/deep/back"   # leads back to a folder above

# A score table the game starts from (7 in element 1), and a red picture.
crlf 'dim a(3)' 'a(1) = 7' 'save number array "scores.dat", a(0)' \
  'create bitmap 1, 4, 4' 'ink rgb(255, 0, 0), 0' 'box 0, 0, 4, 4' 'save bitmap "paint.bmp", 1' > "$project/make_scores.kqa"
(cd "$project" && "$zentrovex" run --headless make_scores.kqa > /dev/null)
rm "$project/make_scores.kqa"

crlf 'open file to read 1, "data.txt"' 'read file string 1, s$' 'close file 1' \
  'print "start " + s$ + " " + str$(file size("data.txt"))' \
  'delete file "data.txt"' \
  'print "deleted " + str$(file exists("data.txt"))' \
  'open file to write 1, "data.txt"' 'write file string 1, "new"' 'close file 1' \
  'open file to read 1, "data.txt"' 'read file string 1, s$' 'close file 1' \
  'print "read " + s$ + " " + str$(file size("data.txt"))' \
  'print "gone " + str$(file exists("gone.txt"))' \
  'if file exists("gone.txt") = 1 then delete file "gone.txt"' \
  'print "gone now " + str$(file exists("gone.txt"))' \
  'dim a(3)' 'load number array "scores.dat", a(0)' 'a(1) = a(1) + 1' \
  'save number array "scores.dat", a(0)' 'load number array "scores.dat", a(0)' \
  'print "score " + str$(a(1))' \
  'load bitmap "paint.bmp", 1' 'print "picture " + str$(point(1, 1))' \
  'ink rgb(0, 255, 0), 0' 'box 0, 0, 4, 4' 'save bitmap "paint.bmp", 1' \
  'load bitmap "paint.bmp", 2' 'print "painted " + str$(point(1, 1))' \
  'open file to read 2, "levels\deep\level1.txt"' 'read file string 2, s$' 'close file 2' \
  'print s$' > "$project/game.kqa"

"$zentrovex" build "$project/game.kqa" -o "$work/game" > "$work/build.txt" ||
  fail "the build failed: $(cat "$work/build.txt")"
grep -q 'SECRET' "$work/game" && fail "a hidden file went into the game"
grep -q 'Leaving out .env.ini' "$work/build.txt" || fail "no word of the hidden file: $(cat "$work/build.txt")"
grep -q 'Leaving out .config' "$work/build.txt" || fail "no word of the hidden folder: $(cat "$work/build.txt")"
grep -q 'Adding levels/deep/level1.txt' "$work/build.txt" || fail "the linked folder is missing: $(cat "$work/build.txt")"
grep -q 'Leaving out levels/deep/back' "$work/build.txt" || fail "no word of the link back up: $(cat "$work/build.txt")"

# Alone in an empty folder, twice.
mkdir "$work/alone"
cp "$work/game" "$work/alone/"
first=$(cd "$work/alone" && ZENTROVEX_HEADLESS=1 ./game)
expected_first=$'start old 5\ndeleted 0\nread new 5\ngone 1\ngone now 0\nscore 8\npicture 16711680\npainted 65280\nLEVEL-THROUGH-LINK'
[ "$first" = "$expected_first" ] || fail "the first run printed:
$first"
second=$(cd "$work/alone" && ZENTROVEX_HEADLESS=1 ./game)
expected_second=$'start new 5\ndeleted 0\nread new 5\ngone 0\ngone now 0\nscore 9\npicture 65280\npainted 65280\nLEVEL-THROUGH-LINK'
[ "$second" = "$expected_second" ] || fail "the second run printed:
$second"
# A later build of the game, carrying the same files, keeps the saves too.
"$zentrovex" build "$project/game.kqa" -o "$work/game" > /dev/null
cp "$work/game" "$work/alone/"
third=$(cd "$work/alone" && ZENTROVEX_HEADLESS=1 ./game)
expected_third=$'start new 5\ndeleted 0\nread new 5\ngone 0\ngone now 0\nscore 10\npicture 65280\npainted 65280\nLEVEL-THROUGH-LINK'
[ "$third" = "$expected_third" ] || fail "the run of a later build printed:
$third"
echo "game saves: all checks passed"
