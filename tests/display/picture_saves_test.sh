#!/usr/bin/env bash
# Every write of a picture (save image, save bitmap of a bitmap and of the
# screen, the screenshot of a run and of the editor) that fails says so at
# the command's own line, naming the file and the cause, before the program
# goes on; the file that was there stays whole and no temporary file is left.
# The writes fail on a read-only file and into a read-only folder (run as
# root, the programs run as the user nobody), onto a full file system (a
# small tmpfs in a mount namespace of its own, where one can be had) and
# through a link to a folder that is not there; a link to a file still to be
# made is followed and stays a link.
set -euo pipefail
zentrovex=$(realpath "$1")
source "$(dirname "$0")/../support/mount_namespace.sh"
in_own_mount_namespace "$0" "$@" || true
work=$(mktemp -d)
trap 'umount "$work/run/full" 2> /dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

source "$(dirname "$0")/../support/as_user.sh"
as_user_init "$work" "$zentrovex"
mkdir "$work/run" "$work/tmp" "$work/config"
user_owns "$work/run" "$work/tmp" "$work/config"
export TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config
cd "$work/run"

# The program that writes `file` with the command of that kind, at line 3,
# and what its failure says.
program_for() {
  local kind=$1 file=$2
  case $kind in
    image) printf '%s\r\n' 'sync on' 'get image 1, 0, 0, 400, 400' "save image \"$file\", 1" ;;
    bitmap) printf '%s\r\n' 'sync on' 'create bitmap 1, 400, 400' "save bitmap \"$file\", 1" ;;
    screen) printf '%s\r\n' 'sync on' 'print 1' "save bitmap \"$file\"" ;;
    *) printf '%s\r\n' 'print 1' ;;
  esac
  printf 'print "not reached"\r\n'
}
expected_for() {
  local kind=$1 file=$2 cause=$3
  case $kind in
    image) echo "Runtime Warning : Could not write to the file \"$file\": $cause. (line 3: save image)" ;;
    bitmap | screen) echo "Runtime Error : Could not save the bitmap \"$file\": $cause. (line 3: save bitmap)" ;;
    *) echo "zentrovex: could not write the screenshot \"$file\": $cause" ;;
  esac
}
# Runs the write of that kind onto `file`; its output goes to out.txt, its
# errors to err.txt, its status to $status.
write() {
  local kind=$1 file=$2
  program_for "$kind" "$file" | user tee case.kqa > /dev/null
  status=0
  case $kind in
    run_shot) user "$zentrovex" run --headless --screenshot "$file" case.kqa > out.txt 2> err.txt || status=$? ;;
    editor_shot) user "$zentrovex" edit --headless --frames 2 --screenshot "$file" > out.txt 2> err.txt || status=$? ;;
    *) user "$zentrovex" run --headless case.kqa > out.txt 2> err.txt || status=$? ;;
  esac
}
kinds=(image bitmap screen run_shot editor_shot)
# Every kind of write onto `file` fails with `cause`, and `file` keeps
# `content` (or stays missing).
expect_failure() {
  local file=$1 cause=$2 content=${3:-} kind
  for kind in "${kinds[@]}"; do
    write "$kind" "$file"
    local text
    text=$(expected_for "$kind" "$file" "$cause")
    [ "$status" -ne 0 ] || fail "$kind onto $file: ended with status 0"
    grep -qF -- "$text" err.txt || fail "$kind onto $file: expected '$text', got: $(cat err.txt)"
    # A screenshot is written once the program has ended.
    [[ $kind == *_shot ]] || ! grep -q "not reached" out.txt || fail "$kind onto $file: the program went on"
    if [ -n "$content" ]; then
      [ "$(cat "$file")" = "$content" ] || fail "$kind onto $file: the earlier file was changed"
    fi
    [ -z "$(find "$work/run" "$work/tmp" -name '.zv-save-*')" ] || fail "$kind onto $file: a temporary file was left"
  done
}

# ---- Read-only files and folders ------------------------------------------------
if [ "$(user sh -c 'printf x > probe; chmod 444 probe; printf y 2> /dev/null > probe && echo writable; rm -f probe')" = writable ]; then
  echo "SKIP: this user may write read-only files; the read-only cases are left out"
  skipped=1
else
  user sh -c 'printf old > ro.bmp; chmod 444 ro.bmp; mkdir locked; chmod 555 locked'
  # save image takes no file that exists at all, read-only or not.
  kinds=(bitmap screen run_shot editor_shot)
  expect_failure ro.bmp "permission denied" old
  kinds=(image)
  write image ro.bmp
  grep -qF 'Runtime Error : File already exists "ro.bmp". (line 3: save image)' err.txt ||
    fail "save image onto a file that exists: $(cat err.txt)"
  kinds=(image bitmap screen run_shot editor_shot)
  expect_failure locked/new.bmp "permission denied"
  [ -z "$(ls -A locked)" ] || fail "the read-only folder holds $(ls -A locked)"
fi

# ---- Links -----------------------------------------------------------------------
user ln -s gone/new.bmp dangling.bmp
expect_failure dangling.bmp "no such file or directory"
for kind in "${kinds[@]}"; do
  user rm -f made.bmp link.bmp
  user ln -s made.bmp link.bmp
  write "$kind" link.bmp
  [ "$status" = 0 ] || fail "$kind through a link to a file still to be made: $(cat err.txt)"
  [ -L link.bmp ] && [ -s made.bmp ] || fail "$kind through a link did not make the file it names"
  [ "$(head -c 2 made.bmp)" = BM ] || [ "$(head -c 4 made.bmp | tail -c 3)" = PNG ] ||
    fail "$kind through a link wrote no picture"
done

# ---- A full file system -----------------------------------------------------------
if [ "${ZV_IN_MOUNT_NAMESPACE:-}" = 1 ] && mkdir full && mount -t tmpfs -o size=64k,mode=1777 none full 2> /dev/null; then
  user sh -c 'printf old > full/kept.bmp; cat /dev/zero > full/filler 2> /dev/null || true'
  expect_failure full/new.bmp "no space left on device"
  kinds=(bitmap screen run_shot editor_shot)
  expect_failure full/kept.bmp "no space left on device" old
  [ "$(ls full)" = "$(printf 'filler\nkept.bmp')" ] || fail "the full file system holds $(ls full)"
else
  echo "SKIP: no mount namespace or tmpfs; the full file system is left out"
  skipped=1
fi
# A case that could not run leaves the test unproven: skipped, not passed.
[ -z "${skipped:-}" ] || exit 77
echo "picture writes that fail say why at their line, and leave what was there"
