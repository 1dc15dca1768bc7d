#!/usr/bin/env bash
# Moving a file out of a read-only folder on another file system copies it,
# cannot delete the original, and so takes the copy back: the move is
# reported as failed, with its cause, and the file is left only where it was.
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
mount -o remount,ro "$work/ro"

cd "$work/run"
printf 'move file "../ro/data.txt", "data.txt"\r\nprint "not reached"\r\n' > move.kqa
status=0
out=$("$zentrovex" run --headless move.kqa 2> err.txt) || status=$?
[ "$status" -ne 0 ] || fail "the failed move ended the run with status 0"
[ -z "$out" ] || fail "the program went on: $out"
grep -qF 'Runtime Warning : Could not move the file "data.txt": read-only file system.' err.txt ||
  fail "unexpected report: $(cat err.txt)"
[ ! -e data.txt ] || fail "the copy was left beside the original"
[ "$(cat "$work/ro/data.txt")" = kept ] || fail "the original is gone"
echo "move file from a read-only folder: reported, and only the original is left"
