#!/usr/bin/env bash
# What a built game writes under a name it carries is its own from the moment
# it writes it, by any command: a save made and never read again survives a
# rebuild of the game. A folder the game carries exists for it and takes
# its saves. Copies of a game, and other games, deleting names at the same
# time lose none of them, and keep each game's names apart. A carried name
# is found where the same path would find a file on disk.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/naps.sh"
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
crlf() { printf '%s\r\n' "$@"; }

# build PROJECT GAME: builds PROJECT/GAME.kqa into the empty folder
# $work/PROJECT-run, replacing an earlier build there.
build() {
  local project=$work/$1 game=$2
  "$zentrovex" build "$project/$game.kqa" -o "$work/$game.game" > "$work/build.txt" ||
    fail "the build of $game failed: $(cat "$work/build.txt")"
  mkdir -p "$work/$1-run"
  cp "$work/$game.game" "$work/$1-run/$game"
}
# play PROJECT GAME [ARGS]: runs the game in its folder and prints what it printed.
play() {
  local folder=$work/$1-run game=$2
  shift 2
  (cd "$folder" && ZENTROVEX_HEADLESS=1 "./$game" "$@") || fail "$game ended with status $?"
}
# expect WHAT ACTUAL EXPECTED
expect() { [ "$2" = "$3" ] || fail "$1 printed:
$2
expected:
$3"; }

# ---- Saves made and never read again, over a rebuild --------------------------------
mkdir -p "$work/keeper"
crlf 'dim a(3) : a(1) = 100 : save number array "scores.dat", a(0)' \
  'dim s$(3) : s$(1) = "ann" : save string array "names.dat", s$(0)' \
  'create bitmap 1, 4, 4 : ink rgb(255, 0, 0), 0 : box 0, 0, 4, 4 : save bitmap "picture.bmp", 1' \
  > "$work/keeper/make.kqa"
(cd "$work/keeper" && "$zentrovex" run --headless make.kqa > /dev/null)
rm "$work/keeper/make.kqa"
printf 'A' > "$work/keeper/byte.dat"
for name in copied renamed moved; do printf 'carried\r\n' > "$work/keeper/$name.txt"; done
# Reads everything at the start and writes everything at the end, each in
# its own way.
crlf 'dim a(3) : load number array "scores.dat", a(0) : print "best so far=" + str$(a(1))' \
  'dim s$(3) : load string array "names.dat", s$(0) : print "name " + s$(1)' \
  'b = read byte from file("byte.dat", 0) : print "byte " + str$(b)' \
  'open file to read 1, "copied.txt" : read file string 1, t$ : close file 1 : print "copied " + t$' \
  'open file to read 1, "renamed.txt" : read file string 1, t$ : close file 1 : print "renamed " + t$' \
  'open file to read 1, "moved.txt" : read file string 1, t$ : close file 1 : print "moved " + t$' \
  'load bitmap "picture.bmp", 1 : print "picture " + str$(point(1, 1))' \
  'a(1) = a(1) + 1 : save number array "scores.dat", a(0)' \
  's$(1) = s$(1) + "+" : save string array "names.dat", s$(0)' \
  'write byte to file "byte.dat", 0, b + 1' \
  'for i = 1 to 3' \
  '  if file exists("new" + str$(i) + ".txt") = 1 then delete file "new" + str$(i) + ".txt"' \
  '  open file to write 1, "new" + str$(i) + ".txt" : write file string 1, "written" : close file 1' \
  'next i' \
  'copy file "new1.txt", "copied.txt" : rename file "new2.txt", "renamed.txt" : move file "new3.txt", "moved.txt"' \
  'ink rgb(0, 255, 0), 0 : box 0, 0, 4, 4 : save bitmap "picture.bmp", 1' > "$work/keeper/keeper.kqa"
build keeper keeper
expect "the first run" "$(play keeper keeper)" $'best so far=100\nname ann\nbyte 65\ncopied carried\nrenamed carried\nmoved carried\npicture 16711680'
sleep 0.05  # a build later than the saves by the file system's clock
build keeper keeper
expect "the run after a rebuild" "$(play keeper keeper)" $'best so far=101\nname ann+\nbyte 66\ncopied written\nrenamed written\nmoved written\npicture 65280'

# ---- A folder the game carries -------------------------------------------------------
mkdir -p "$work/slots/saves"
crlf 'dim a(3) : a(1) = 5 : save number array "saves/slot1.dat", a(0)' > "$work/slots/make.kqa"
(cd "$work/slots" && "$zentrovex" run --headless make.kqa > /dev/null)
rm "$work/slots/make.kqa"
printf 'carried\r\n' > "$work/slots/saves/note.txt"
# The first write into the folder replaces a carried file by deleting it and
# writing it again.
crlf 'print "path " + str$(path exists("saves")) + str$(path exists("saves/slot1.dat"))' \
  'open file to read 1, "saves/note.txt" : read file string 1, t$ : close file 1 : print "note " + t$' \
  'delete file "saves/note.txt"' \
  'open file to write 1, "saves/note.txt" : write file string 1, "written" : close file 1' \
  'dim a(3) : load number array "saves/slot1.dat", a(0) : print "slot " + str$(a(1))' \
  'a(1) = a(1) + 1 : save number array "saves/slot1.dat", a(0)' \
  'if file exists("SAVES/slot2.txt") = 0' \
  '  open file to write 1, "SAVES/slot2.txt" : write file string 1, "two" : close file 1' \
  'endif' \
  'print "slot2 " + str$(file exists("saves/slot2.txt"))' > "$work/slots/slots.kqa"
build slots slots
expect "a run saving into a carried folder" "$(play slots slots)" $'path 11\nnote carried\nslot 5\nslot2 1'
[ -f "$work/slots-run/saves/slot1.dat" ] && [ -f "$work/slots-run/saves/note.txt" ] ||
  fail "the saves are not on disk: $(ls -R "$work/slots-run")"
expect "the second run" "$(play slots slots)" $'path 11\nnote written\nslot 6\nslot2 1'
build slots slots
expect "the run after a rebuild" "$(play slots slots)" $'path 11\nnote written\nslot 7\nslot2 1'

# ---- A carried folder deleted, whether it is on disk or not ----------------------------
mkdir -p "$work/dirs/levels" "$work/dirs/maps"
for name in levels/a.txt levels/b.txt maps/m.txt; do printf 'carried\r\n' > "$work/dirs/$name"; done
# The maps folder goes into the disk first, as a save into it makes it.
crlf 'print "levels " + str$(path exists("levels")) + str$(file exists("levels/a.txt"));' \
  'print " maps " + str$(path exists("maps")) + str$(file exists("maps/m.txt"))' \
  'if path exists("levels") = 1 then delete directory "levels"' \
  'if path exists("maps") = 1' \
  '  open file to write 1, "maps/new.txt" : close file 1 : delete directory "maps"' \
  'endif' \
  'print "levels " + str$(path exists("levels")) + str$(file exists("levels/b.txt"));' \
  'print " maps " + str$(path exists("maps")) + str$(file exists("maps/m.txt"))' > "$work/dirs/dirs.kqa"
build dirs dirs
expect "a run deleting carried folders" "$(play dirs dirs)" $'levels 11 maps 11\nlevels 00 maps 00'
[ ! -e "$work/dirs-run/maps" ] || fail "the deleted folder is still on disk"
expect "the run after" "$(play dirs dirs)" $'levels 00 maps 00\nlevels 00 maps 00'
sleep 0.05
build dirs dirs
expect "the run after a rebuild" "$(play dirs dirs)" $'levels 00 maps 00\nlevels 00 maps 00'

# ---- Names as the disk resolves them; listings ----------------------------------------
mkdir -p "$work/names/saves"
printf 'top\r\n' > "$work/names/data.txt"
printf 'inner\r\n' > "$work/names/saves/data.txt"
printf 'other\r\n' > "$work/names/saves/other.txt"
printf 'gone\r\n' > "$work/names/gone.txt"
crlf 'print "dot " + str$(file exists("./data.txt")) + " " + firstline("./data.txt") + " " + firstline("saves/../data.txt")' \
  'delete file "gone.txt"' \
  'print "top" + listing()' \
  'set directory "saves"' \
  'print "inner " + str$(file exists("data.txt")) + " " + firstline("data.txt") + " " + firstline("../data.txt")' \
  'print "saves" + listing() : print "found" + found()' \
  'set directory ".."' 'print "gone " + str$(file exists("gone.txt"))' 'end' \
  'function firstline(f$)' '  open file to read 1, f$ : read file string 1, t$ : close file 1' 'endfunction t$' \
  'function listing()' '  checklist files : l$ = ""' \
  '  for i = 3 to checklist quantity() : l$ = l$ + " " + checklist string$(i) : next i' 'endfunction l$' \
  'function found()' '  find first : f$ = ""' \
  '  while find file type() <> -1' '    f$ = f$ + " " + find file name$() : find next' '  endwhile' \
  'endfunction f$' > "$work/names/names.kqa"
build names names
expected=$'dot 1 top top\ntop data.txt names saves\ninner 1 inner top\nsaves data.txt other.txt\nfound . .. data.txt other.txt\ngone 0'
expect "names and listings" "$(play names names)" "$expected"
[ -f "$work/names-run/.zentrovex-kept" ] || fail "the deletion was not kept"
expect "names and listings, again" "$(play names names)" "$expected"

# ---- Copies of a game deleting at once -------------------------------------------------
mkdir -p "$work/many"
for i in $(seq 1 240); do printf 'x' > "$work/many/n$i.txt"; done
# Deletes the first or the second half of the names, or counts those still there.
crlf 'half = val(command line$())' \
  'if half = 0' \
  '  c = 0 : for i = 1 to 240 : c = c + file exists("n" + str$(i) + ".txt") : next i : print "left " + str$(c)' \
  'else' \
  '  for i = half * 120 - 119 to half * 120 : delete file "n" + str$(i) + ".txt" : next i' \
  'endif' > "$work/many/many.kqa"
build many many
for trial in 1 2 3; do
  rm -f "$work/many-run/.zentrovex-kept"
  (cd "$work/many-run" && ZENTROVEX_HEADLESS=1 ./many 1) & first=$!
  (cd "$work/many-run" && ZENTROVEX_HEADLESS=1 ./many 2) & second=$!
  wait "$first" && wait "$second" || fail "a copy deleting names failed"
  expect "a count after two copies deleted every name (trial $trial)" "$(play many many)" "left 0"
done

# ---- Two games in one folder ------------------------------------------------------------
mkdir -p "$work/first" "$work/second"
printf 'first level\r\n' > "$work/first/level.txt"
printf 'second level\r\n' > "$work/second/level.txt"
crlf 'delete file "level.txt"' 'print "first " + str$(file exists("level.txt"))' > "$work/first/first.kqa"
crlf 'open file to read 1, "level.txt" : read file string 1, t$ : close file 1' \
  'print "second " + str$(file exists("level.txt")) + " " + t$' > "$work/second/second.kqa"
build first first
build second second
cp "$work/second-run/second" "$work/first-run/"
(cd "$work/first-run" && ZENTROVEX_HEADLESS=1 ./first > "$work/first.txt")
expect "the game that deleted its level" "$(cat "$work/first.txt")" "first 0"
expect "the other game in its folder" "$(cd "$work/first-run" && ZENTROVEX_HEADLESS=1 ./second)" "second 1 second level"
expect "the first game again" "$(cd "$work/first-run" && ZENTROVEX_HEADLESS=1 ./first)" "first 0"
echo "carried files: all checks passed"
