#!/usr/bin/env bash
# Moving a file out of a read-only folder on another file system copies it,
# cannot delete the original, and so takes the copy back: the move is
# reported as failed, naming the folder at fault, with its cause, and the
# file is left only where it was. A failed move never claims a copy that is
# not there. A folder is not moved across file systems at all: the
# warning names it and says why. A copy onto a full file system says so and leaves nothing.
# Needs a mount namespace of its own for the file systems; skips (77) where
# none can be had.
set -euo pipefail
zentrovex=$1
if [ "${ZV_IN_MOUNT_NAMESPACE:-}" != 1 ]; then
  unshare -m --propagation private true 2> /dev/null || { echo "no mount namespace: skipped"; exit 77; }
  ZV_IN_MOUNT_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi
work=$(mktemp -d)
mkdir "$work/ro" "$work/run" "$work/full"
trap 'umount "$work/ro" "$work/full" 2> /dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mount -t tmpfs none "$work/ro" 2> /dev/null || { echo "no tmpfs: skipped"; exit 77; }
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
mount -t tmpfs -o size=64k none "$work/full" 2> /dev/null || { echo "no small tmpfs: skipped"; exit 77; }
head -c 200000 /dev/zero | tr '\0' x > big.txt
status=0
printf 'copy file "big.txt", "../full/big.txt"\r\nprint "not reached"\r\n' > copy.kqa
out=$("$zentrovex" run --headless copy.kqa 2> err.txt) || status=$?
[ "$status" -ne 0 ] && [ -z "$out" ] || fail "a copy onto a full disk: status $status, $out"
grep -qF 'Runtime Warning : Could not copy the file "../full/big.txt": no space left on device.' err.txt ||
  fail "a copy onto a full disk: unexpected report: $(cat err.txt)"
[ -z "$(ls -A "$work/full")" ] || fail "a copy onto a full disk left $(ls -A "$work/full")"
echo "move file from a read-only folder, copy file onto a full disk: reported, and nothing is left half done"
