#!/usr/bin/env bash
# Every command that writes a file says so when the write fails, naming the
# file as the program wrote it, a file that was there stays whole, and no
# temporary file is left behind. The writes fail into a folder that does not
# exist, or past a file size limit (as on a full disk; the limit's signal
# must not end the process).
set -euo pipefail
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export TMPDIR=$work/tmp
mkdir "$TMPDIR"

# Runs the program line in a fresh folder (a file size limit of `limit`
# kilobytes when given, after the shell command `setup` there) and expects
# `text` in its standard error.
expect() {
  local program=$1 text=$2 limit=${3:-unlimited} setup=${4:-}
  rm -rf "$work/run" && mkdir "$work/run"
  printf '%s\r\nprint "not reached"\r\n' "$program" > "$work/run/case.kqa"
  printf 'old picture' > "$work/run/keep.bmp"
  [ -z "$setup" ] || (cd "$work/run" && eval "$setup")
  set +e
  out=$(cd "$work/run" && ulimit -f "$limit" &&
        "$zentrovex" run --headless --frames 30 case.kqa 2> "$work/err.txt")
  status=$?
  set -e
  [ "$status" -ne 0 ] || fail "$program: the failed write ended the run with status 0"
  [ "$out" != "not reached" ] || fail "$program: the program went on"
  grep -qF -- "$text" "$work/err.txt" || fail "$program: expected '$text', got: $(cat "$work/err.txt")"
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
  'Runtime Warning : Could not write to the file "missing/scene.dat".'
expect 'make object cube 1, 1 : save object animation "missing/anim.x", 1' \
  'Runtime Warning : Could not write to the file "missing/anim.x".'
expect "$screen : create bitmap 1, 8, 8 : save bitmap \"missing/b.bmp\", 1 : sync : sync" \
  'Runtime Error : Could not save the bitmap "missing/b.bmp": no such file or directory.'
expect "$screen : create bitmap 1, 400, 400 : save bitmap \"keep.bmp\", 1 : sync : sync" \
  'Runtime Error : Could not save the bitmap "keep.bmp": file too large.' 64
expect "$screen : save bitmap \"missing/screen.bmp\" : sync : sync" \
  'Runtime Error : Could not save the bitmap "missing/screen.bmp": no such file or directory.'
expect 'make file "missing/made.txt"' 'Runtime Warning : Could not make the file "missing/made.txt".'
expect 'copy file "keep.bmp", "missing/copy.bmp"' \
  'Runtime Warning : Could not copy the file "missing/copy.bmp": no such file or directory.'
expect 'open file to write 1, "missing/w.dat"' \
  'Runtime Warning : Could not create the file for writing "missing/w.dat".'
expect 'open file to write 1, "big.dat" : for i = 1 to 100000 : write file dword 1, i : next i : close file 1' \
  'Runtime Warning : Could not write to the file "big.dat".' 64
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
echo "failed writes are reported with their files"
