#!/usr/bin/env bash
# Across file systems `move file` copies a file and removes the original,
# but a folder is not moved: the warning names the folder and says why (it
# said "no such file or directory" of a folder that is there), and the
# folder stays whole where it was.
# Needs a mount namespace of its own for the second file system; skips (77)
# where none can be had.
set -euo pipefail
zentrovex=$1
if [ "${ZV_IN_MOUNT_NAMESPACE:-}" != 1 ]; then
  unshare -m --propagation private true 2> /dev/null || { echo "no mount namespace: skipped"; exit 77; }
  ZV_IN_MOUNT_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi
work=$(mktemp -d)
mkdir "$work/other" "$work/run"
trap 'umount "$work/other" 2> /dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mount -t tmpfs none "$work/other" 2> /dev/null || { echo "no tmpfs: skipped"; exit 77; }

cd "$work/run"
mkdir -p tree/inner
printf 'kept' > tree/inner/data.txt
printf 'file' > single.txt
printf '%s\r\n' 'move file "single.txt", "../other/single.txt"' 'move file "tree", "../other/tree"' \
  'print "not reached"' > move.kqa
status=0
out=$("$zentrovex" run --headless move.kqa 2> err.txt) || status=$?
[ "$status" -ne 0 ] || fail "the failed move ended the run with status 0"
[ -z "$out" ] || fail "the program went on: $out"
grep -qF 'Runtime Warning : Could not move the file "tree": a folder moves only within its own file system.' err.txt ||
  fail "unexpected report: $(cat err.txt)"
[ "$(cat "$work/other/single.txt")" = file ] && [ ! -e single.txt ] || fail "the file was not moved across"
[ "$(cat tree/inner/data.txt)" = kept ] || fail "the folder did not stay whole"
[ ! -e "$work/other/tree" ] || fail "a part of the folder was left on the other file system"
echo "move file of a folder across file systems: refused with its reason, the folder whole"
