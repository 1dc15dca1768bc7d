#!/usr/bin/env bash
# Moving a file out of a read-only folder on another file system copies it,
# cannot delete the original, and so takes the copy back: the move is
# reported as failed, with its cause, and the file is left only where it was.
# A failed move never claims a copy that is not there. A folder is not moved
# across file systems at all: the warning names it and says why.
# Needs a mount namespace of its own for the read-only file system; skips
# (77) where none can be had.
set -euo pipefail
zentrovex=$1
if [ "${ZV_IN_MOUNT_NAMESPACE:-}" != 1 ]; then
  unshare -m --propagation private true 2> /dev/null || { echo "no mount namespace: skipped"; exit 77; }
  ZV_IN_MOUNT_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi
work=$(mktemp -d)
mkdir "$work/ro" "$work/run"
trap 'umount "$work/ro" 2> /dev/null || true; rm -rf "$work"' EXIT
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
expect 'move file "../ro/data.txt", "data.txt"' \
  'Runtime Warning : Could not move the file "data.txt": read-only file system.'
# A folder in the way across file systems: the file stays only where it was.
expect 'move file "../ro/data.txt", "."' 'Runtime Warning : Could not move the file ".": file exists.'
expect 'move file "../ro/tree", "tree"' \
  'Runtime Warning : Could not move the file "../ro/tree": a folder moves only within its own file system.'
[ "$(cat "$work/ro/tree/inner/data.txt")" = kept ] || fail "the folder did not stay whole"
expect 'rename file "../ro/data.txt", "../ro/new.txt"' \
  'Runtime Warning : Could not rename the file "../ro/new.txt": read-only file system.'
echo "move file from a read-only folder: reported, and only the original is left"
