#!/usr/bin/env bash
# A user's files under Linux's rules, as an ordinary user meets them (run as
# root, the programs run as the user nobody, since root may write any file):
# a save through a symbolic or hard link changes the real file; a read-only
# file is neither replaced nor deleted, and says why; unpacking into a
# folder that cannot be made, or packing a file that is not there, warns;
# failures name what is at fault; registry values outlive a run without a
# display, and two programs writing at once lose none; a copy of a file a
# built game carries is an ordinary new file.
set -euo pipefail
zentrovex=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

as_user=()
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  chmod 755 "$work"
  "${as_user[@]}" test -x "$zentrovex" || { echo "SKIP: the user nobody cannot run $zentrovex"; exit 77; }
fi
mkdir "$work/run" "$work/tmp" "$work/config"
# Files are made as the user, so they are the user's own.
user() { "${as_user[@]}" "$@"; }
if [ "$(id -u)" = 0 ]; then chown 65534:65534 "$work/run" "$work/tmp" "$work/config"; fi
export TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config
umask 022
cd "$work/run"

# Runs the program given as lines; its output goes to out.txt, its errors to
# err.txt, and its status to $status.
run() {
  printf '%s\r\n' "$@" | user tee case.kqa > /dev/null
  status=0
  user "$zentrovex" run --headless case.kqa > out.txt 2> err.txt || status=$?
}
# The program's last line must end it with `text` on standard error.
expect_end() {
  local text=$1
  shift
  run "$@" 'print "not reached"'
  [ "$status" -ne 0 ] || fail "$*: ended with status 0"
  grep -qF -- "$text" err.txt || fail "$*: expected '$text', got: $(cat err.txt)"
  ! grep -q "not reached" out.txt || fail "$*: went on after the failure"
}
no_temporaries() { [ -z "$(find "$work/run" "$work/tmp" -name '.zv-write-*')" ] || fail "temporary files were left"; }

# ---- Saves through links --------------------------------------------------------
user mkdir real
user sh -c 'printf abcd > real/bytes.dat; printf old > real/numbers.dat; printf old > real/hard.dat'
user ln -s real/bytes.dat bytes.dat
user ln -s "$work/run/real/numbers.dat" numbers.dat
user ln -s real/strings.dat strings.dat  # a link to a file still to be made
user ln real/hard.dat hard.dat
run 'write byte to file "bytes.dat", 0, 65' 'write byte to file "hard.dat", 2, 68' \
  'dim n(2) : n(0) = 1 : n(1) = 2 : n(2) = 3' 'save number array "numbers.dat", n(0)' \
  'dim s$(1) : s$(0) = "one" : s$(1) = "two"' 'save string array "strings.dat", s$(0)' 'print "saved"'
[ "$status" = 0 ] || fail "saves through links: status $status: $(cat err.txt)"
for link in bytes.dat numbers.dat strings.dat; do [ -L $link ] || fail "$link is no longer a link"; done
[ "$(cat real/bytes.dat)" = Abcd ] || fail "write byte to file through a link: real file holds $(cat real/bytes.dat)"
[ "$(od -An -tx1 real/numbers.dat | tr -d ' \n')" = 010000000200000003000000 ] ||
  fail "save number array through a link: real file holds $(od -An -tx1 real/numbers.dat)"
[ "$(cat real/strings.dat)" = $'one\r\ntwo\r' ] || fail "save string array through a link: real file holds $(cat real/strings.dat)"
[ "$(cat real/hard.dat)" = olD ] || fail "write byte to file through a hard link: the other name holds $(cat real/hard.dat)"
[ "$(stat -c %i hard.dat)" = "$(stat -c %i real/hard.dat)" ] || fail "the hard link became a file of its own"
no_temporaries

# ---- Read-only files -----------------------------------------------------------
if [ "$(user sh -c 'printf x > probe; chmod 444 probe; printf y 2> /dev/null > probe && echo writable; rm -f probe')" = writable ]; then
  echo "SKIP: this user may write read-only files; the read-only cases are left out"
else
  user sh -c 'printf keep > ro.dat; chmod 444 ro.dat; mkdir tree; printf keep > tree/ro.dat; chmod 444 tree/ro.dat; printf x > tree/w.dat'
  expect_end 'Runtime Error : Could not open the file "ro.dat": permission denied. (line 2: save number array)' \
    'dim a(3)' 'save number array "ro.dat", a(0)'
  expect_end 'Runtime Error : Could not open the file "ro.dat": permission denied. (line 2: save string array)' \
    'dim a$(3)' 'save string array "ro.dat", a$(0)'
  expect_end 'Runtime Warning : Could not delete the file "ro.dat": permission denied.' 'delete file "ro.dat"'
  expect_end 'Runtime Warning : Could not write to the file "ro.dat": permission denied.' 'write byte to file "ro.dat", 0, 65'
  [ "$(cat ro.dat)" = keep ] || fail "the read-only file was changed"
  # delete directory takes what it may, and leaves the read-only file and its folder.
  run 'delete directory "tree"' 'print file exists("tree/ro.dat"); file exists("tree/w.dat")'
  [ "$(cat out.txt)" = 10 ] || fail "delete directory: $(cat out.txt) $(cat err.txt)"
  [ "$(cat tree/ro.dat)" = keep ] || fail "delete directory changed the read-only file"
  no_temporaries
fi

# ---- Failures that say what is at fault -----------------------------------------
user sh -c 'mkdir locked; printf data > locked/f.dat; chmod 555 locked'
if [ -z "$(user sh -c 'touch locked/probe 2> /dev/null && echo writable')" ]; then
  expect_end 'Runtime Warning : Could not move the file "locked/f.dat": permission denied in the folder "locked".' \
    'move file "locked/f.dat", "f.dat"'
  expect_end 'Runtime Error : Could not open the file "locked/new.dat": permission denied.' \
    'dim a(3)' 'load number array "locked/new.dat", a(0)'
  [ "$(cat locked/f.dat)" = data ] && [ ! -e f.dat ] || fail "the failed move moved something"
  # A pack unpacked into a folder that cannot be made warns as a file does.
  user sh -c 'mkdir -p src/sub; printf one > src/a.txt; printf two > src/sub/b.txt; printf x > taken'
  run 'open file to write 1, "pack.dat"' 'write dir block 1, "src"' 'close file 1'
  [ "$status" = 0 ] || fail "write dir block: $(cat err.txt)"
  expect_end 'Runtime Warning : Could not create the file for writing "taken": not a directory. (line 2: read dir block)' \
    'open file to read 1, "pack.dat"' 'read dir block 1, "taken"'
  expect_end 'Runtime Warning : Could not create the file for writing "locked/new": permission denied. (line 2: read dir block)' \
    'open file to read 1, "pack.dat"' 'read dir block 1, "locked/new"'
fi
expect_end 'Runtime Warning : File does not exist "missing.dat". (line 2: write file block)' \
  'open file to write 1, "block.dat"' 'write file block 1, "missing.dat"'

# ---- The registry --------------------------------------------------------------
# A value written without a display is there in the next run, in the
# user's config folder.
run 'write registry dword "Software\Tests", "Kept", 42'
run 'print registry dword("Software\Tests", "Kept")'
[ "$(cat out.txt)" = 42 ] || fail "the registry value did not outlive its run: $(cat out.txt) $(cat err.txt)"
# Two programs writing 1,000 values each at once lose none of them.
for who in a b; do
  printf '%s\r\n' 'for i = 1 to 1000' "write registry dword \"Software\\Tests\", \"$who\" + str\$(i), i" 'next i' |
    user tee "$who.kqa" > /dev/null
done
user "$zentrovex" run --headless a.kqa & first=$!
user "$zentrovex" run --headless b.kqa & second=$!
wait $first && wait $second || fail "the registry writers failed"
run 'n = 0' 'for i = 1 to 1000' 'if registry dword("Software\Tests", "a" + str$(i)) = i then inc n' \
  'if registry dword("Software\Tests", "b" + str$(i)) = i then inc n' 'next i' 'print n'
[ "$(cat out.txt)" = 2000 ] || fail "of 2,000 values written at once, $(cat out.txt) were kept"
# The registry's file kept behind a link stays there.
registry=$work/config/zentrovex/registry/HKEY_CURRENT_USER.ini
user mkdir -p real
user mv "$registry" real/registry.ini
user ln -s "$work/run/real/registry.ini" "$registry"
run 'write registry dword "Software\Tests", "Linked", 7'
[ -L "$registry" ] && grep -q '^Linked=dword:00000007' real/registry.ini || fail "the registry's link was replaced"

# ---- A copy of a file a built game carries ----------------------------------------
user mkdir game
user sh -c 'printf carried > game/carried.dat'
printf 'copy file "carried.dat", "copy.dat"\r\n' | user tee game/game.kqa > /dev/null
user "$zentrovex" build game/game.kqa -o game/game > /dev/null || fail "the game could not be built"
user mkdir played
(cd played && user env ZENTROVEX_HEADLESS=1 ../game/game) || fail "the game failed"
[ "$(cat played/copy.dat)" = carried ] || fail "the carried file was not copied"
[ "$(stat -c %a played/copy.dat)" = 644 ] || fail "the copy has mode $(stat -c %a played/copy.dat), not 644"
no_temporaries
echo "a user's files: links followed, read-only files kept, failures explained, registry kept"
