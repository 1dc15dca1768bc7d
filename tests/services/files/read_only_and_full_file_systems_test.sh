#!/usr/bin/env bash
# Moving a file out of a read-only folder on another file system copies it,
# cannot delete the original, and so takes the copy back: the move is
# reported as failed, naming the folder at fault, with its cause, and the
# file is left only where it was. A failed move never claims a copy that is
# not there. A folder is not moved across file systems at all: the
# warning names it and says why. A copy onto a full file system says so and
# leaves nothing; so does every other write onto a full file system, which
# keeps what was there whole.
# Needs a mount namespace of its own for the file systems; skips (77) where
# none can be had.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../../support/mount_namespace.sh"
in_own_mount_namespace "$0" "$@" || { echo "SKIP: no mount namespace can be made here"; exit 77; }
work=$(mktemp -d)
mkdir "$work/ro" "$work/run" "$work/full" "$work/disk" "$work/inodes"
trap 'umount "$work/ro" "$work/full" "$work/disk" "$work/inodes" 2> /dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mount -t tmpfs none "$work/ro" 2> /dev/null || { echo "SKIP: no tmpfs can be mounted here"; exit 77; }
printf 'kept' > "$work/ro/data.txt"
mkdir -p "$work/ro/tree/inner"
printf 'kept' > "$work/ro/tree/inner/data.txt"
mount -o remount,ro "$work/ro"

cd "$work/run"
# Runs the line and expects the warning; the original stays where it was
# and nothing is left in this folder.
expect() {
  local line=$1 text=$2
  printf '%s\r\nprint "not reached"\r\n' "$line" > move.kqa
  status=0
  out=$("$zentrovex" run --headless move.kqa 2> err.txt) || status=$?
  [ "$status" -ne 0 ] || fail "$line: the failed move ended the run with status 0"
  [ -z "$out" ] || fail "$line: the program went on: $out"
  grep -qF "$text" err.txt || fail "$line: unexpected report: $(cat err.txt)"
  [ "$(ls -A)" = "$(printf 'err.txt\nmove.kqa')" ] || fail "$line: left $(ls -A) behind"
  [ "$(cat "$work/ro/data.txt")" = kept ] || fail "$line: the original is gone"
}
# The warning names the folder the file may not leave.
expect 'move file "../ro/data.txt", "data.txt"' \
  'Runtime Warning : Could not move the file "../ro/data.txt": read-only file system in the folder "../ro".'
# A folder in the way across file systems: the file stays only where it was.
expect 'move file "../ro/data.txt", "."' 'Runtime Warning : Could not move the file ".": file exists.'
expect 'move file "../ro/tree", "tree"' \
  'Runtime Warning : Could not move the file "../ro/tree": a folder moves only within its own file system.'
[ "$(cat "$work/ro/tree/inner/data.txt")" = kept ] || fail "the folder did not stay whole"
expect 'rename file "../ro/data.txt", "../ro/new.txt"' \
  'Runtime Warning : Could not rename the file "../ro/data.txt": read-only file system in the folder "../ro".'

# A file system of 64 KB takes no copy of 200 KB.
mount -t tmpfs -o size=64k none "$work/full" 2> /dev/null || { echo "SKIP: no small tmpfs can be mounted here"; exit 77; }
head -c 200000 /dev/zero | tr '\0' x > big.txt
status=0
printf 'copy file "big.txt", "../full/big.txt"\r\nprint "not reached"\r\n' > copy.kqa
out=$("$zentrovex" run --headless copy.kqa 2> err.txt) || status=$?
[ "$status" -ne 0 ] && [ -z "$out" ] || fail "a copy onto a full disk: status $status, $out"
grep -qF 'Runtime Warning : Could not copy the file "../full/big.txt": no space left on device.' err.txt ||
  fail "a copy onto a full disk: unexpected report: $(cat err.txt)"
[ -z "$(ls -A "$work/full")" ] || fail "a copy onto a full disk left $(ls -A "$work/full")"

# A file system of 2 MB, filled: what was on it stays whole, and every write
# onto it says so and why. Another runs out of files instead of room.
mount -t tmpfs -o size=2m none "$work/disk" && mount -t tmpfs -o size=1m,nr_inodes=4 none "$work/inodes" ||
  { echo "SKIP: no small tmpfs can be mounted here"; exit 77; }
disk=$work/disk
printf old > "$disk/old.dat"
truncate -s 1M "$disk/sparse.dat"
mkdir "$disk/config"
head -c 4M /dev/zero > "$disk/fill" 2> /dev/null || true
for n in 1 2 3 4 5; do touch "$work/inodes/f$n" 2> /dev/null || true; done
full() {
  local line=$1 text=$2
  printf '%s\r\nprint "not reached"\r\n' "$line" > full.kqa
  status=0
  out=$(XDG_CONFIG_HOME=$disk/config "$zentrovex" run --headless full.kqa 2>&1) || status=$?
  [ "$status" -ne 0 ] && ! grep -q "not reached" <<< "$out" || fail "$line: status $status, $out"
  grep -qF "$text" <<< "$out" || fail "$line: unexpected report: $out"
  [ "$(cat "$disk/old.dat")" = old ] || fail "$line: the file that was there changed"
  [ -z "$(find "$disk" -name '.zv-*')" ] || fail "$line: left $(find "$disk" -name '.zv-*')"
}
sound='make memblock 1, 12 + 2000 : write memblock dword 1, 0, 16 : write memblock dword 1, 4, 22050 : write memblock dword 1, 8, 1000 : make sound from memblock 1, 1'
full 'open file to write 1, "../disk/lines.txt" : write file string 1, "a line"' \
  'Runtime Warning : Could not write to the file "../disk/lines.txt": no space left on device.'
[ ! -s "$disk/lines.txt" ] || fail "a line that did not fit stayed in part"
full 'open file to write 1, "../disk/pack.dat" : write file block 1, "full.kqa"' \
  'Runtime Warning : Could not write to the file "../disk/pack.dat": no space left on device.'
[ ! -s "$disk/pack.dat" ] || fail "a packed file that did not fit stayed in part"
rm "$disk/pack.dat"
full 'open file to write 1, "../disk/pack.dat" : write dir block 1, "."' \
  'Runtime Warning : Could not write to the file "../disk/pack.dat": no space left on device.'
full 'write byte to file "../disk/sparse.dat", 500000, 65' \
  'Runtime Warning : Could not write to the file "../disk/sparse.dat": no space left on device.'
[ "$(od -An -tx1 -j 500000 -N 1 "$disk/sparse.dat" | tr -d ' ')" = 00 ] || fail "write byte to file changed the full file"
full 'dim a(3) : save number array "../disk/old.dat", a(0)' \
  'Runtime Error : Could not open the file "../disk/old.dat": no space left on device.'
full "$sound : save sound \"../disk/s.wav\", 1" \
  'Runtime Error : Could not save the sound "../disk/s.wav": no space left on device.'
full 'make object cube 1, 1 : save object animation "../disk/anim.x", 1' \
  'Runtime Warning : Could not write to the file "../disk/anim.x": no space left on device.'
full 'save static objects "../disk/scene.dat"' \
  'Runtime Warning : Could not write to the file "../disk/scene.dat": no space left on device.'
full 'write registry dword "Software\Tests", "Full", 1' \
  "Runtime Warning : Could not write to the file \"$disk/config/zentrovex/registry/HKEY_CURRENT_USER.ini\": no space left on device."
full 'make directory "../inodes/new"' 'Runtime Warning : Could not make the directory "../inodes/new": no space left on device.'
echo "move file from a read-only folder, writes onto a full disk: reported with their causes, and nothing is left half done"
