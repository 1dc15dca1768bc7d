#!/usr/bin/env bash
# A built game loses none of the player's files and never fails in silence:
# an update under another file name keeps the saves; saves copied without
# the hidden list are kept when the game passes them over; a name carried in
# two letter cases finds each; a name ending in "/" finds no file; a save
# killed at any moment (the first trial at the moment it took the name)
# stays the game's after a rebuild, and one whose name
# cannot be listed fails; every warning reaches standard error; a game
# installed read-only goes into the folders it carries; and the builder
# never writes a game over its own inputs.
# (Saves of sounds, joined animations, renamed folders and packs of carried
# folders are in carried_writers_test.sh.) By hand, CASES names the cases to
# run and TRIALS the number of kills (default 3).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/naps.sh"
zentrovex=$(readlink -f "$1")
source "$(dirname "$0")/../support/as_user.sh"
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
crlf() { printf '%s\r\n' "$@"; }
export XDG_CONFIG_HOME=$work/config
as_user_init "$work" "$zentrovex"

# project NAME LINE...: a project folder with the program NAME.kqa.
project() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  crlf "$@" > "$work/$name/$name.kqa"
}
# build PROJECT GAME_PATH: builds the project's program into GAME_PATH.
build() { "$zentrovex" build "$work/$1/$1.kqa" -o "$2" > "$work/build.txt" || fail "the build of $1: $(cat "$work/build.txt")"; }
# play FOLDER GAME [ARGS]: what the game prints, run in its folder.
play() {
  local folder=$1 game=$2
  shift 2
  (cd "$folder" && ZENTROVEX_HEADLESS=1 "./$game" "$@") || fail "$game ended with status $?"
}
expect() { [ "$2" = "$3" ] || fail "$1 printed:
$2
expected:
$3"; }
# A score kept in scores.dat, 100 as the game carries it: printed, then saved one higher.
scores() {
  project "$1" 'dim a(3) : load number array "scores.dat", a(0) : print "best so far=" + str$(a(1))' \
    'a(1) = a(1) + 1 : save number array "scores.dat", a(0)'
  crlf 'dim a(3) : a(1) = 100 : save number array "scores.dat", a(0)' > "$work/$1/make.kqa"
  (cd "$work/$1" && "$zentrovex" run --headless make.kqa > /dev/null && rm make.kqa)
}
newer_build() { sleep 0.05; }  # a build later than the saves by the file system's clock

# ---- 1: an update built under another file name keeps the saves ----------------------------
case_updates() {
  scores dodger
  mkdir "$work/v1"
  build dodger "$work/v1/dodger"
  play "$work/v1" dodger > /dev/null
  expect "the first version's second run" "$(play "$work/v1" dodger)" "best so far=101"
  newer_build
  build dodger "$work/v1/dodger-1.1"
  rm "$work/v1/dodger"
  expect "the update under another name" "$(play "$work/v1" dodger-1.1)" "best so far=102"
  expect "the update's next run" "$(play "$work/v1" dodger-1.1)" "best so far=103"

  # ---- 2: saves copied the usual way, without the hidden list, are kept --------------------
  mkdir "$work/v2"
  build dodger "$work/v2/dodger-2"
  cp -p "$work/v1"/* "$work/v2/"
  expect "the new version beside the copied save" "$(play "$work/v2" dodger-2)" "best so far=100"
  crlf 'dim a(3) : load number array "scores.dat.kept", a(0) : print "kept " + str$(a(1))' > "$work/v2/kept.kqa"
  expect "the copied save" "$(cd "$work/v2" && "$zentrovex" run --headless kept.kqa)" "kept 104"
  expect "the new version's next run" "$(play "$work/v2" dodger-2)" "best so far=101"
}

# ---- 7 and 8: two names in two letter cases; a name that ends in "/" -----------------------
case_spellings() {
  project names 'open file to read 1, "Level.txt" : read file string 1, u$ : close file 1' \
    'open file to read 1, "level.txt" : read file string 1, l$ : close file 1' \
    'print u$ + " " + l$ + " " + str$(file exists("data.txt/")) + str$(file size("data.txt/")) + str$(file exists("data.txt"))'
  printf 'upper\r\n' > "$work/names/Level.txt"
  printf 'lower\r\n' > "$work/names/level.txt"
  printf 'data\r\n' > "$work/names/data.txt"
  mkdir "$work/names-run"
  build names "$work/names-run/names"
  grep -q 'Level.txt and level.txt differ only in letter case' "$work/build.txt" ||
    fail "the builder said nothing of Level.txt and level.txt: $(cat "$work/build.txt")"
  from_source=$(cd "$work/names" && "$zentrovex" run --headless names.kqa)
  expect "names from source" "$from_source" "upper lower 001"
  expect "names in the built game" "$(play "$work/names-run" names)" "$from_source"
}

# ---- 9: the builder never writes over its inputs ---------------------------------------------
case_builder_inputs() {
  project inputs '#include "lib.kqa"' 'print "game"'
  crlf 'x = 1' > "$work/inputs/lib.kqa"
  printf 'level\r\n' > "$work/inputs/level.dat"
  ln -s inputs.kqa "$work/inputs/link.kqa"
  while IFS='|' read -r output said; do
    before=$(cat "$work/inputs"/*.kqa "$work/inputs/level.dat" | md5sum)
    set +e
    out=$("$zentrovex" build "$work/inputs/inputs.kqa" -o "$work/inputs/$output" 2>&1)
    status=$?
    set -e
    [ "$status" = 1 ] || fail "build -o $output: status $status"
    grep -qF "$said" <<< "$out" || fail "build -o $output said: $out"
    [ "$(cat "$work/inputs"/*.kqa "$work/inputs/level.dat" | md5sum)" = "$before" ] || fail "build -o $output changed an input"
  done <<'EOF'
inputs.kqa|cannot write the game over its own program
link.kqa|cannot write the game over its own program
lib.kqa|the program includes it
level.dat|level.dat: the game carries it
EOF
  build inputs "$work/inputs/game.dat" && build inputs "$work/inputs/game.dat"  # a game it built before is replaced
}

# ---- 10: warnings and errors of a built game reach standard error -----------------------------
case_standard_error() {
  project failing 'open file to write 1, "save.txt" : write file string 1, "x" : close file 1' 'make file "made.txt"' \
    'copy file "carried.txt", "copy.txt"' 'write registry dword "Software\Zv", "Best", 7' \
    'if file exists("full.dat") = 1 then delete file "full.dat"' \
    'open file to write 1, "full.dat"' 'if file open(1) = 1' \
    '  for i = 1 to 3000 : write file string 1, "a line of the save" : next i : close file 1' 'endif' \
    'print "Game saved."'
  printf 'carried\r\n' > "$work/failing/carried.txt"
  mkdir -p "$work/failing-run" "$work/config/zentrovex/registry"
  build failing "$work/failing-run/failing"
  chmod 555 "$work/failing-run"
  touch "$work/config/zentrovex/registry/HKEY_CURRENT_USER.ini" && chmod 444 "$work/config/zentrovex/registry/HKEY_CURRENT_USER.ini"
  chmod 555 "$work/config/zentrovex/registry"
  set +e
  out=$(cd "$work/failing-run" && ZENTROVEX_HEADLESS=1 user ./failing 2> "$work/stderr.txt")
  status=$?
  set -e
  expect "the game in a folder it may not write" "$out" "Game saved."
  [ "$status" = 0 ] || fail "a warning ended the built game: status $status"
  while IFS= read -r said; do
    grep -qF "$said" "$work/stderr.txt" || fail "standard error lacks '$said': $(cat "$work/stderr.txt")"
  done <<'EOF'
Runtime Warning : Could not create the file for writing "save.txt": permission denied. (line 1)
Runtime Warning : Could not make the file "made.txt": permission denied. (line 2)
Runtime Warning : Could not copy the file "copy.txt": permission denied. (line 3)
HKEY_CURRENT_USER.ini": permission denied. (line 4)
EOF
  chmod 755 "$work/failing-run"
  user_owns "$work/failing-run"
  set +e
  (cd "$work/failing-run" && ulimit -f 16 && ZENTROVEX_HEADLESS=1 user ./failing > /dev/null 2> "$work/stderr.txt")
  set -e
  grep -qF '"full.dat": file too large' "$work/stderr.txt" || fail "a save cut short said: $(cat "$work/stderr.txt")"
}

# ---- 11: a game installed read-only goes into the folders it carries ------------------------
case_read_only() {
  project readonly 'set directory "saves"' 'open file to read 1, "slot.txt" : read file string 1, t$ : close file 1' \
    'print t$ + " " + str$(file exists("../top.txt"))'
  mkdir -p "$work/readonly/saves" "$work/readonly-run"
  printf 'slot\r\n' > "$work/readonly/saves/slot.txt"
  printf 'top\r\n' > "$work/readonly/top.txt"
  build readonly "$work/readonly-run/readonly"
  chmod 555 "$work/readonly-run"
  expect "a read-only game in its carried folder" "$(cd "$work/readonly-run" && ZENTROVEX_HEADLESS=1 user ./readonly)" "slot 1"
  chmod 755 "$work/readonly-run"
}

# ---- 12: a save killed at any moment stays the game's after a rebuild ---------------------
case_kills() {
  # Saves 40 carried names over and over, each with the round it is in, until
  # killed; a long list of another game's names makes the list's work long.
  # Asked to "check", prints what it finds under each.
  project killed 'dim s$(3)' 'if command line$() = "check"' '  for i = 1 to 40' \
    '    load string array "n" + str$(i) + ".dat", s$(0) : print str$(i) + " " + s$(1)' '  next i' 'else' \
    '  for round = 1 to 1000000' '    for i = 1 to 40' \
    '      s$(1) = str$(round) : save string array "n" + str$(i) + ".dat", s$(0)' '    next i' '  next round' 'endif'
  crlf 'dim s$(3) : s$(1) = "carried" : for i = 1 to 40 : save string array "n" + str$(i) + ".dat", s$(0) : next i' \
    > "$work/killed/make.kqa"
  (cd "$work/killed" && "$zentrovex" run --headless make.kqa > /dev/null && rm make.kqa)
  mkdir "$work/killed-run"
  for trial in $(seq 1 ${TRIALS:-3}); do
    rm -rf "$work/killed-run"/* "$work/killed-run"/.zentrovex-kept
    for i in $(seq 1 50000); do printf 'another game\tname%d.txt\n' "$i"; done > "$work/killed-run/.zentrovex-kept"
    build killed "$work/killed-run/killed"
    # Killed at the moment its first save has taken the name (the game
    # stops itself there, ZV_TEST_STOP_AT: the second name taken, as the
    # carried bytes take it first), or, in later trials, wherever it is in
    # its first saves.
    local stop=published#2
    [ "$trial" = 1 ] || stop=
    (cd "$work/killed-run" && ZENTROVEX_HEADLESS=1 ZV_TEST_STOP_AT=$stop exec ./killed) & game=$!
    if [ -n "$stop" ]; then
      # Only a hang reaches the bound.
      for _ in $(seq 1 6000); do [ "$(awk '{ print $3 }' "/proc/$game/stat" 2> /dev/null)" = T ] && break; sleep 0.01; done
      [ "$(awk '{ print $3 }' "/proc/$game/stat")" = T ] || fail "the game did not stop where its first save took the name"
    else
      for _ in $(seq 1 1000); do [ -e "$work/killed-run/n1.dat" ] && break; sleep 0.005; done
      sleep 0.0$((RANDOM % 6))$((RANDOM % 10))
    fi
    kill -9 "$game" && wait "$game" 2>/dev/null || true
    newer_build
    build killed "$work/killed-run/killed"
    # What the disk holds under each name, else the carried copy.
    on_disk=$(cd "$work/killed-run" && for i in $(seq 1 40); do
      if [ -f "n$i.dat" ]; then echo "$i $(sed -n 2p "n$i.dat" | tr -d '\r')"; else echo "$i carried"; fi; done)
    expect "the rebuilt game after a kill (trial $trial)" "$(play "$work/killed-run" killed check)" "$on_disk"
  done
  # A name the list cannot take is a failed save, and the carried copy stays.
  project unlisted 'dim a(3) : a(1) = 5 : save number array "scores.dat", a(0)' \
    'load number array "scores.dat", a(0) : print str$(a(1))'
  crlf 'dim a(3) : a(1) = 1 : save number array "scores.dat", a(0)' > "$work/unlisted/make.kqa"
  (cd "$work/unlisted" && "$zentrovex" run --headless make.kqa > /dev/null && rm make.kqa)
  mkdir -p "$work/unlisted-run/.zentrovex-kept"
  build unlisted "$work/unlisted-run/unlisted"
  set +e
  out=$(cd "$work/unlisted-run" && ZENTROVEX_HEADLESS=1 ./unlisted 2>&1)
  set -e
  grep -qF 'Could not save the array "scores.dat": is a directory' <<< "$out" ||
    grep -qF '"scores.dat": is a directory' <<< "$out" || fail "a save whose name could not be listed said: $out"
  [ ! -e "$work/unlisted-run/scores.dat" ] || fail "the unlisted save was written"
}

# Each case runs on its own, so that every one that fails is named.
failed=()
for name in ${CASES:-updates spellings builder_inputs standard_error read_only kills}; do
  (set -e; "case_$name") || failed+=("$name")
done
[ ${#failed[@]} = 0 ] || { echo "FAIL: the cases ${failed[*]}" >&2; exit 1; }
echo "kept saves: all checks passed"
