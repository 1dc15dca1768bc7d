#!/usr/bin/env bash
# The command line end to end: a run that ends on an error exits non-zero
# with the message on standard error; a built game runs from a clean folder
# and carries its media; a build that cannot be written leaves nothing.
set -euo pipefail
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A runtime error.
printf 'print "before"\r\nsync rate 5000\r\nprint "after"\r\n' > "$work/error.kqa"
set +e
out=$("$zentrovex" run --headless "$work/error.kqa" 2>"$work/err.txt")
status=$?
set -e
[ "$status" -ne 0 ] || fail "a run that ended on an error exited 0"
[ "$out" = "before" ] || fail "unexpected output: $out"
grep -q '^Runtime Error : ' "$work/err.txt" || fail "no error text on stderr: $(cat "$work/err.txt")"

# A program that does not compile does not start.
printf 'this is not basic\r\n' > "$work/bad.kqa"
if "$zentrovex" run --headless "$work/bad.kqa" >/dev/null 2>&1; then fail "a broken program exited 0"; fi

# A built game with media, run where nothing else is.
mkdir -p "$work/project/media/Sub"
printf 'print "game: " + command line$()\r\nend\r\n' > "$work/project/game.kqa"
printf 'bitmap' > "$work/project/media/Sub/Pic.BMP"
printf 'skip' > "$work/project/readme.md"
"$zentrovex" build "$work/project/game.kqa" -o "$work/game" > "$work/build.txt"
grep -q 'Adding media/Sub/Pic.BMP' "$work/build.txt" || fail "media not added: $(cat "$work/build.txt")"
[ -x "$work/game" ] || fail "the game is not executable"
grep -q 'readme' "$work/build.txt" && fail "a file that is not media was added"
mkdir "$work/clean"
cp "$work/game" "$work/clean/"
out=$(cd "$work/clean" && ZENTROVEX_HEADLESS=1 ./game one two)
[ "$out" = "game: one two" ] || fail "the game printed: $out"
grep -q 'bitmap' "$work/game" || fail "the media record is missing from the game"

# A built game carries every kind of file its loaders read: a song in a
# format that only the media decoder plays loads and plays from the game
# alone.
mkdir -p "$work/songs/music"
cp "$(dirname "$0")/../audio/commands/music/files/tone.ogg" "$work/songs/music/Tone.ogg"
printf 'load music "music/tone.ogg", 1\r\nplay music 1\r\nprint music exist(1); music playing(1)\r\nend\r\n' \
  > "$work/songs/song.kqa"
"$zentrovex" build "$work/songs/song.kqa" -o "$work/song_game" > "$work/build.txt"
grep -q 'Adding music/Tone.ogg' "$work/build.txt" || fail "the song was not added: $(cat "$work/build.txt")"
mkdir "$work/empty"
cp "$work/song_game" "$work/empty/"
out=$(cd "$work/empty" && ZENTROVEX_HEADLESS=1 ./song_game)
[ "$out" = "11" ] || fail "the built game's song did not play: $out"

# A damaged game says so and exits non-zero.
head -c -3 "$work/game" > "$work/clean/broken"
printf '\x01\x00\x00' >> "$work/clean/broken"
chmod +x "$work/clean/broken"
set +e
(cd "$work/clean" && ZENTROVEX_HEADLESS=1 ./broken) > /dev/null 2>"$work/err.txt"
status=$?
set -e
[ "$status" -ne 0 ] || fail "a damaged game exited 0"
grep -q 'attached data damaged' "$work/err.txt" || fail "no clear error: $(cat "$work/err.txt")"

# An output that cannot be written.
if "$zentrovex" build "$work/project/game.kqa" -o "$work/missing/dir/game" > /dev/null 2>&1; then
  fail "a build into a missing folder succeeded"
fi
[ -z "$(ls "$work/missing" 2>/dev/null)" ] || fail "a partial game was left"
# A game the user may not write is refused and stays as it was, as every
# file the user saves (run as the user nobody where the test is root, who
# may write anything).
source "$(dirname "$0")/../support/as_user.sh"
as_user_init "$work" "$zentrovex"
mkdir "$work/readonly"
cp "$work/game" "$work/readonly/game"
chmod 444 "$work/readonly/game"
user_owns "$work/readonly" "$work/readonly/game"
status=0
user "$zentrovex" build "$work/project/game.kqa" -o "$work/readonly/game" > /dev/null 2> "$work/err.txt" || status=$?
[ "$status" -ne 0 ] || fail "a read-only game was replaced with status 0"
grep -q 'ermission denied' "$work/err.txt" || fail "no reason given: $(cat "$work/err.txt")"
cmp -s "$work/game" "$work/readonly/game" || fail "the read-only game was changed"
[ "$(ls -A "$work/readonly")" = game ] || fail "the refused build left $(ls -A "$work/readonly")"
echo "game build: all checks passed"
