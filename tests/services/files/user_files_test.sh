#!/usr/bin/env bash
# A user's files under Linux's rules, as an ordinary user meets them (run as
# root, the programs run as the user nobody, since root may write any file):
# a save through a symbolic or hard link changes the real file, and a link
# to nothing is followed by every write and removed by delete file; a
# read-only file is neither replaced nor deleted, and says why; unpacking
# into a folder that cannot be made, or packing a file that is not there,
# warns; a pack names what it may not read and leaves out, and never leaves
# its folder through a link; an unpack costs the same a file; failures name
# what is at fault; registry values outlive a run without a display, two
# programs writing at once lose none, and one that cannot be written says
# why (a built game goes on); a copy of a file a built game carries is an
# ordinary new file.
set -euo pipefail
zentrovex=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

source "$(dirname "$0")/../../support/as_user.sh"
as_user_init "$work" "$zentrovex"
mkdir "$work/run" "$work/tmp" "$work/config"
# Files are made as the user, so they are the user's own.
user_owns "$work/run" "$work/tmp" "$work/config"
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
no_temporaries() { [ -z "$(find "$work/run" "$work/tmp" -name '.zv-save-*')" ] || fail "temporary files were left"; }

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

# ---- Links to nothing ------------------------------------------------------------
# Every write follows the link and makes the file it names; the link stays.
# delete file removes the link itself.
user mkdir made
for n in 1 2 3 4 5 6 7; do user ln -s made/target$n.dat dangling$n.dat; done
user sh -c 'printf moved > to_move.dat; printf copied > to_copy.dat; printf packed > to_pack.dat'
run 'open file to write 1, "dangling1.dat"' 'write file string 1, "written"' 'close file 1' \
  'make file "dangling2.dat"' 'copy file "to_copy.dat", "dangling3.dat"' 'rename file "to_move.dat", "dangling4.dat"' \
  'open file to write 2, "linkpack.dat"' 'write file block 2, "to_pack.dat"' 'close file 2' \
  'open file to read 2, "linkpack.dat"' 'read file block 2, "dangling5.dat"' 'close file 2' \
  'dim n(0) : n(0) = 7 : save number array "dangling6.dat", n(0)' \
  'for n = 1 to 6 : print file exists("dangling" + str$(n) + ".dat"); : next n' \
  'delete file "dangling7.dat"' 'print file exists("dangling7.dat")'
[ "$status" = 0 ] || fail "writes through links to nothing: status $status: $(cat err.txt)"
[ "$(cat out.txt)" = 1111110 ] || fail "writes through links to nothing: $(cat out.txt)"
for n in 1 2 3 4 5 6; do [ -L dangling$n.dat ] && [ -f made/target$n.dat ] || fail "dangling$n.dat: the link's file was not made"; done
[ "$(cat made/target1.dat)" = $'written\r' ] && [ -f made/target2.dat ] && [ "$(cat made/target3.dat)" = copied ] &&
  [ "$(cat made/target4.dat)" = moved ] && [ ! -e to_move.dat ] && [ "$(cat made/target5.dat)" = packed ] ||
  fail "writes through links to nothing wrote the wrong files"
[ ! -L dangling7.dat ] || fail "delete file kept a link to nothing"
# Folders are never made through a link, and a link to nothing says so.
user ln -s made/folder dangling_folder
expect_end 'Runtime Warning : Could not make the directory "dangling_folder": a symbolic link to nothing has that name.' \
  'make directory "dangling_folder"'
expect_end 'Runtime Warning : Could not create the file for writing "dangling_folder": a symbolic link to nothing has that name. (line 5: read dir block)' \
  'open file to write 1, "linkdir.dat"' 'write dir block 1, "made"' 'close file 1' \
  'open file to read 1, "linkdir.dat"' 'read dir block 1, "dangling_folder"'
no_temporaries

# ---- Packs stay inside their folder ---------------------------------------------
# Unpacking never writes through a link it did not make (to a folder
# elsewhere, in either letter case, or to nothing), and packing leaves out a
# link that leads out of the folder, naming it; the program goes on.
user sh -c 'mkdir -p crafted/a crafted/A crafted/s away into; printf x > crafted/a/x; printf y > crafted/A/y
            printf z > crafted/s/z; printf secret > away/secret; ln -s ../away/secret crafted/linked
            ln -s ../away into/a; ln -s nowhere into/s'
run 'open file to write 1, "crafted.dat"' 'write dir block 1, "crafted"' 'close file 1' \
  'open file to read 1, "crafted.dat"' 'read dir block 1, "into"' 'print "went on"'
[ "$status" = 0 ] && [ "$(cat out.txt)" = "went on" ] || fail "packs and links: status $status: $(cat err.txt)"
[ "$(ls away)" = secret ] && [ ! -e into/nowhere ] || fail "an unpack wrote through a link: $(ls away into)"
grep -qF '"crafted\linked": it leads out of the folder' err.txt &&
  grep -qF '"into\A\y": it leads through a symbolic link' err.txt && grep -qF '"into\a\x"' err.txt &&
  grep -qF '"into\s\z"' err.txt || fail "what the pack left out was not named: $(cat err.txt)"
# Each file costs the same however many the pack holds: one reading of the
# folder for the whole pack, and one sync of each file.
if command -v strace > /dev/null; then
  user sh -c 'mkdir many && cd many && seq -f "f%.0f" 1 200 | xargs touch'
  run 'open file to write 1, "many.dat"' 'write dir block 1, "many"' 'close file 1'
  printf '%s\r\n' 'open file to read 1, "many.dat"' 'read dir block 1, "traced"' | user tee traced.kqa > /dev/null
  # The leak checker cannot run under a tracer.
  user env ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    strace -f -qq -e trace=getdents64,fsync,fdatasync -o trace "$zentrovex" run --headless traced.kqa
  [ "$(ls traced | wc -l)" = 200 ] && [ "$(grep -c getdents64 trace)" -lt 50 ] &&
    [ "$(grep -cE 'fsync|fdatasync' trace)" -le 210 ] ||
    fail "200 files unpacked read folders $(grep -c getdents64 trace) times, synced $(grep -cE 'sync' trace) times"
else
  echo "SKIP the cost of an unpack: strace is not installed"
  skipped=1
fi

# ---- Read-only files -----------------------------------------------------------
if [ "$(user sh -c 'printf x > probe; chmod 444 probe; printf y 2> /dev/null > probe && echo writable; rm -f probe')" = writable ]; then
  echo "SKIP: this user may write read-only files; the read-only cases are left out"
  skipped=1
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

# A pack leaves out what its user may not read, and names each of them; the
# rest is packed and unpacks whole.
user sh -c 'mkdir -p packed/sub packed/locked; printf one > packed/a.txt; printf two > packed/sub/b.txt
            printf hidden > packed/locked/c.txt; printf secret > packed/secret.txt; chmod 000 packed/locked packed/secret.txt'
expect_end 'Runtime Warning : Could not open the file for reading "packed\locked": permission denied; the pack leaves it out, and "packed\secret.txt" (permission denied). (line 2: write dir block)' \
  'open file to write 1, "packed.dat"' 'write dir block 1, "packed"'
run 'open file to read 1, "packed.dat"' 'read dir block 1, "unpacked"'
[ "$(cd unpacked && find . -type f | sort | tr '\n' ' ')" = "./a.txt ./sub/b.txt " ] && [ "$(cat unpacked/sub/b.txt)" = two ] ||
  fail "the pack of what could be read: $(cd unpacked && find . | sort | tr '\n' ' ') $(cat err.txt)"
user chmod 755 packed/locked
expect_end 'Runtime Warning : Directory does not exist "nothing". (line 2: write dir block)' \
  'open file to write 1, "nothing.dat"' 'write dir block 1, "nothing"'

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
# A value that cannot be written says why, and the value kept stays: the
# registry's file read-only (another user's, or the user's own), or its
# folder read-only with no file yet. A built game goes on without it.
registry_case() {
  local setup=$1 cause=$2
  rm -rf "$work/regcase" && mkdir -p "$work/regcase/zentrovex/registry"
  [ "$(id -u)" != 0 ] || chown -R 65534:65534 "$work/regcase"
  (cd "$work/regcase/zentrovex/registry" && eval "$setup")
  XDG_CONFIG_HOME=$work/regcase expect_end \
    "Runtime Warning : Could not write to the file \"$work/regcase/zentrovex/registry/HKEY_CURRENT_USER.ini\": $cause." \
    'write registry dword "Software\Tests", "Kept", 2'
  XDG_CONFIG_HOME=$work/regcase run 'print registry dword("Software\Tests", "Kept")'
  [ "$(cat out.txt)" = "$3" ] || fail "$setup: the registry holds $(cat out.txt)"
}
kept_value=$'[Software\\Tests]\nKept=dword:00000001'
if [ "$(id -u)" = 0 ]; then
  registry_case "printf '%s\\n' '$kept_value' > HKEY_CURRENT_USER.ini && chown 0:0 HKEY_CURRENT_USER.ini" 'permission denied' 1
fi
registry_case "printf '%s\\n' '$kept_value' > HKEY_CURRENT_USER.ini && chmod 444 HKEY_CURRENT_USER.ini" 'permission denied' 1
registry_case 'chmod 555 .' 'permission denied' 0
user mkdir -p regame
printf 'write registry dword "Software\\Tests", "Kept", 2\r\nprint "went on"\r\n' | user tee regame/game.kqa > /dev/null
user "$zentrovex" build regame/game.kqa -o regame/game > /dev/null || fail "the registry game could not be built"
[ "$(XDG_CONFIG_HOME=$work/regcase user env ZENTROVEX_HEADLESS=1 regame/game)" = "went on" ] ||
  fail "a built game did not go on past a registry value it could not write"

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
# A case that could not run leaves the test unproven: skipped, not passed.
[ -z "${skipped:-}" ] || exit 77
echo "a user's files: links followed, read-only files kept, failures explained, registry kept"
