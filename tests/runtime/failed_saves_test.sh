#!/usr/bin/env bash
# Every command that writes a file says so when the write fails, naming the
# file as the program wrote it and saying why, a file that was there stays
# whole, and no temporary file is left behind. The writes fail into a folder
# that does not exist, or past a file size limit (as on a full disk; the
# limit's signal must not end the process). A program killed mid-save leaves
# no temporary either.
set -euo pipefail
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
mkdir "$TMPDIR"

# Runs the program line in a fresh folder (a file size limit of `limit`
# kilobytes when given, after the shell command `setup` there) and expects
# `text` in what it says. Its output goes through a pipe, which no size
# limit stops.
expect() {
  local program=$1 text=$2 limit=${3:-unlimited} setup=${4:-}
  rm -rf "$work/run" && mkdir "$work/run"
  printf '%s\r\nprint "not reached"\r\n' "$program" > "$work/run/case.kqa"
  printf 'old picture' > "$work/run/keep.bmp"
  [ -z "$setup" ] || (cd "$work/run" && eval "$setup")
  set +e
  out=$(cd "$work/run" && ulimit -f "$limit" && "$zentrovex" run --headless --frames 30 case.kqa 2>&1)
  status=$?
  set -e
  [ "$status" -ne 0 ] || fail "$program: the failed write ended the run with status 0"
  ! grep -q "not reached" <<< "$out" || fail "$program: the program went on"
  grep -qF -- "$text" <<< "$out" || fail "$program: expected '$text', got: $out"
  [ "$(cat "$work/run/keep.bmp")" = "old picture" ] || fail "$program: the earlier file was damaged"
  # What the program wrote itself may stay (an open file it was writing).
  local stray
  stray=$(cd "$work/run" && ls -A | grep -Ev '^(case\.kqa|keep\.bmp|pack\.dat|big\.dat)$' || true)
  [ -z "$stray" ] || fail "$program: left $stray behind"
  [ -z "$(ls -A "$TMPDIR")" ] || fail "$program: left $(ls "$TMPDIR") behind"
}

screen='sync on : set display mode 640, 480, 32'
expect "$screen : get image 1, 0, 0, 400, 400 : sync : save image \"missing/a.bmp\", 1 : sync" \
  'Runtime Warning : Could not write to the file "missing/a.bmp": no such file or directory. (line 1: save image)'
expect "$screen : get image 1, 0, 0, 400, 400 : sync : save image \"big.bmp\", 1 : sync" \
  'Runtime Warning : Could not write to the file "big.bmp": file too large. (line 1: save image)' 64
expect 'save static objects "missing/scene.dat"' \
  'Runtime Warning : Could not write to the file "missing/scene.dat": no such file or directory.'
expect 'sync on : for i = 1 to 40 : make object sphere i, 10 : copy object to static scene i : next i : save static objects "scene.dat"' \
  'Runtime Warning : Could not write to the file "scene.dat": file too large.' 64
expect 'make object cube 1, 1 : save object animation "missing/anim.x", 1' \
  'Runtime Warning : Could not write to the file "missing/anim.x": no such file or directory.'
sound='make memblock 1, 12 + 20000 : write memblock dword 1, 0, 16 : write memblock dword 1, 4, 22050 : write memblock dword 1, 8, 10000 : make sound from memblock 1, 1'
expect "$sound : save sound \"missing/s.wav\", 1" \
  'Runtime Error : Could not save the sound "missing/s.wav": no such file or directory.'
expect "$sound : save sound \"keep.bmp\", 1" 'Runtime Error : Could not save the sound "keep.bmp": file too large.' 10
expect 'make directory "missing/folder"' \
  'Runtime Warning : Could not make the directory "missing/folder": no such file or directory.'
registry=$XDG_CONFIG_HOME/zentrovex/registry/HKEY_CURRENT_USER.ini
mkdir -p "${registry%/*}" && head -c 70000 /dev/zero | tr '\0' ';' > "$registry"
expect 'write registry dword "Software\Tests", "Full", 1' \
  "Runtime Warning : Could not write to the file \"$registry\": file too large." 64
[ "$(stat -c %s "$registry")" = 70000 ] || fail "the registry's file was damaged"
expect "$screen : create bitmap 1, 8, 8 : save bitmap \"missing/b.bmp\", 1 : sync : sync" \
  'Runtime Error : Could not save the bitmap "missing/b.bmp": no such file or directory.'
expect "$screen : create bitmap 1, 400, 400 : save bitmap \"keep.bmp\", 1 : sync : sync" \
  'Runtime Error : Could not save the bitmap "keep.bmp": file too large.' 64
expect "$screen : save bitmap \"missing/screen.bmp\" : sync : sync" \
  'Runtime Error : Could not save the bitmap "missing/screen.bmp": no such file or directory.'
expect 'make file "missing/made.txt"' \
  'Runtime Warning : Could not make the file "missing/made.txt": no such file or directory.'
expect 'copy file "keep.bmp", "missing/copy.bmp"' \
  'Runtime Warning : Could not copy the file "missing/copy.bmp": no such file or directory.'
expect 'open file to write 1, "missing/w.dat"' \
  'Runtime Warning : Could not create the file for writing "missing/w.dat": no such file or directory.'
# A value or line cut short by a full disk is taken back: the file holds
# whole ones.
expect 'open file to write 1, "big.dat" : for i = 1 to 100000 : write file word 1, i : write file byte 1, i : next i : close file 1' \
  'Runtime Warning : Could not write to the file "big.dat": file too large.' 64
[ $(($(stat -c %s "$work/run/big.dat") % 3)) = 0 ] || fail "a value cut short stayed: $(stat -c %s "$work/run/big.dat") bytes"
expect 'open file to write 1, "big.dat" : for i = 1 to 100000 : write file string 1, "a line" : next i : close file 1' \
  'Runtime Warning : Could not write to the file "big.dat": file too large.' 64
[ $(($(stat -c %s "$work/run/big.dat") % 8)) = 0 ] || fail "a line cut short stayed: $(stat -c %s "$work/run/big.dat") bytes"
expect 'make memblock 1, 100000 : open file to write 1, "pack.dat" : write file string 1, "head" : write memblock to file 1, 1' \
  'Runtime Warning : Could not write to the file "pack.dat": file too large.' 64
[ "$(stat -c %s "$work/run/pack.dat")" = 6 ] || fail "a memory block cut short stayed: $(stat -c %s "$work/run/pack.dat") bytes"
# A packed file that does not fit is taken back whole: the pack holds what
# was there before it.
expect 'open file to write 1, "pack.dat" : write file string 1, "head" : write file block 1, "case.kqa" : write file block 1, "big.dat"' \
  'Runtime Warning : Could not write to the file "pack.dat": file too large.' 64 \
  'head -c 100000 /dev/zero > big.dat'
[ "$(stat -c %s "$work/run/pack.dat")" = $((6 + 4 + $(stat -c %s "$work/run/case.kqa"))) ] ||
  fail "the pack holds part of the file that did not fit: $(stat -c %s "$work/run/pack.dat") bytes"
expect 'open file to write 1, "pack.dat" : write dir block 1, "nothing"' 'Runtime Warning : Directory does not exist "nothing".'
expect 'open file to write 1, "pack.dat" : write dir block 1, "case.kqa"' \
  'Runtime Warning : Directory does not exist "case.kqa": not a directory.'
expect 'open file to write 1, "pack.dat" : write file block 1, "keep.bmp" : close file 1 : open file to read 1, "pack.dat" : read file block 1, "keep.bmp\inside.bmp"' \
  'Runtime Warning : Could not create the file for writing "keep.bmp\inside.bmp": not a directory.'
# A packed file that can be made but not filled, past the size limit.
pack_big='head -c 100000 /dev/zero > big.dat && printf "open file to write 1, \"pack.dat\" : write file block 1, \"big.dat\"\r\n" > pack.kqa && "$zentrovex" run --headless pack.kqa && rm big.dat pack.kqa'
expect 'open file to read 1, "pack.dat" : read file block 1, "big.dat"' \
  'Runtime Warning : Could not write to the file "big.dat": file too large.' 64 "$pack_big"
expect 'dim a(3) : save number array "missing/a.dat", a(0)' \
  'Runtime Error : Could not open the file "missing/a.dat": no such file or directory.'
expect 'dim a(100000) : save number array "big.dat", a(0)' \
  'Runtime Error : Could not open the file "big.dat": file too large.' 64

# A program killed outright mid-save (SIGKILL, the out-of-memory killer)
# leaves no temporary beside the file, also where the new content waits to
# be copied into a file with a second name.
rm -rf "$work/run" && mkdir "$work/run" && cd "$work/run"
printf 'dim a(10000000)\r\ndo\r\nsave number array "saved.dat", a(0)\r\nsave number array "linked.dat", a(0)\r\nloop\r\n' \
  > kill.kqa
printf old > saved.dat
printf old > linked.dat
ln linked.dat other.dat
# Each save leaves its temporary for about half of its time, so a kill at
# each of eight moments finds one.
for delay in 0.25 0.3 0.35 0.4 0.45 0.5 0.55 0.6; do
  "$zentrovex" run --headless kill.kqa & pid=$!
  sleep $delay
  { kill -KILL $pid && wait $pid; } 2> /dev/null || true
  leftovers=$(find "$work" -name '.zv-*')
  [ -z "$leftovers" ] || fail "a save killed after $delay s left $leftovers"
done
[ "$(stat -c %h linked.dat)" = 2 ] || fail "the file with a second name lost it"
echo "failed writes are reported with their files, and say why; a killed save leaves nothing"
