#!/usr/bin/env bash
# copy file and move file take a file a block at a time: a 300 MB file is
# copied, and moved to another file system, with 150 MB of address space to
# spare beyond what a run needs, and arrives whole; a copy that fails
# midway (past the file size limit) leaves no part of the copy and keeps
# the source. In the same room write byte to file changes one byte of it in
# place, and write file block packs it a block at a time; a pack cut short
# is taken back whole. The file has holes (it takes about 40 MB of disk), which its
# copies keep; another file system is /dev/shm where that is one, else the
# move is a rename.
# With a second argument "sanitized" the test is skipped: the address
# sanitizer needs more address space than any limit allows.
set -euo pipefail
zentrovex=$1
if [ "${2:-}" = sanitized ]; then
  echo "SKIP: no address-space limit under the sanitizers"
  exit 77
fi
work=$(mktemp -d)
other=
trap 'rm -rf "$work" ${other:+"$other"}' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
cd "$work"

# How much address space a run needs, with one heap for every thread so
# that it does not depend on which threads allocate first.
export MALLOC_ARENA_MAX=1
# It is read once the run says it has made a frame, however long a loaded
# machine takes to get there.
printf 'sync\r\nprint "running"\r\ndo\r\nsync\r\nloop\r\n' > loop.kqa
"$zentrovex" run --headless loop.kqa > out.txt & pid=$!
for _ in $(seq 1200); do
  grep -q running out.txt && break
  sleep 0.05
done
grep -q running out.txt || fail "the looping run did not start"
base_kb=$(awk '/^VmSize/ { print $2 }' "/proc/$pid/status")
kill -TERM "$pid"
wait "$pid" || true

# 300 MB, of which five 8 MB stretches hold data.
truncate -s 300M big.dat
for at in 0 70 150 230 292; do
  head -c 8M /dev/urandom | dd of=big.dat bs=1M seek=$at conv=notrunc status=none
done

# Runs the program line with `room` kilobytes of address space beyond the
# base (and a file size limit of `limit` kilobytes when given).
run() {
  local line=$1 room=$2 limit=${3:-unlimited}
  printf '%s\r\nprint "done"\r\n' "$line" > case.kqa
  status=0
  (ulimit -v $((base_kb + room)) -f "$limit" && exec "$zentrovex" run --headless case.kqa) > out.txt 2> err.txt ||
    status=$?
}

run 'copy file "big.dat", "copy.dat"' 150000
[ "$status" = 0 ] && [ "$(cat out.txt)" = done ] || fail "copy file: status $status: $(cat err.txt)"
cmp big.dat copy.dat || fail "the copy differs"

if [ "$(stat -c %d /dev/shm 2> /dev/null)" != "" ] && [ "$(stat -c %d /dev/shm)" != "$(stat -c %d "$work")" ] &&
   other=$(mktemp -d /dev/shm/zv-move-XXXXXX 2> /dev/null); then
  destination=$other/moved.dat
else
  echo "no other file system: the move is a rename"
  destination=$work/moved.dat
fi
run "move file \"copy.dat\", \"$destination\"" 150000
[ "$status" = 0 ] && [ "$(cat out.txt)" = done ] || fail "move file: status $status: $(cat err.txt)"
[ ! -e copy.dat ] || fail "the moved file is still where it was"
cmp big.dat "$destination" || fail "the moved file differs"

run 'write byte to file "big.dat", 150000000, 65' 150000
[ "$status" = 0 ] && [ "$(cat out.txt)" = done ] || fail "write byte to file: status $status: $(cat err.txt)"
[ "$(od -An -tx1 -j 150000000 -N 1 big.dat | tr -d ' ')" = 41 ] && [ "$(stat -c %s big.dat)" = 314572800 ] ||
  fail "write byte to file did not change the one byte"
run 'open file to write 1, "pack.dat" : write file block 1, "big.dat" : close file 1' 150000
[ "$status" = 0 ] && [ "$(cat out.txt)" = done ] || fail "write file block: status $status: $(cat err.txt)"
[ "$(od -An -tx1 -N 4 pack.dat | tr -d ' ')" = 0000c012 ] && cmp -i 4:0 pack.dat big.dat ||
  fail "the pack does not hold the file"
rm pack.dat
run 'open file to write 1, "pack.dat" : write file block 1, "big.dat"' 150000 100000
grep -qF 'Runtime Warning : Could not write to the file "pack.dat": file too large.' err.txt ||
  fail "a pack cut short: $(cat err.txt)"
[ ! -s pack.dat ] || fail "a pack cut short kept $(stat -c %s pack.dat) bytes"
rm pack.dat

# Past the file size limit (100 MB) the copy fails midway: nothing of it
# stays, the source does, and the warning says why.
rm -f "$destination"
run 'copy file "big.dat", "cut.dat"' 150000 100000
grep -qF 'Runtime Warning : Could not copy the file "cut.dat": file too large.' err.txt ||
  fail "a copy cut short: $(cat err.txt)"
if [ -n "$other" ]; then
  run "move file \"big.dat\", \"$destination\"" 150000 100000
  grep -qF "Runtime Warning : Could not move the file \"$destination\": file too large." err.txt ||
    fail "a move cut short: $(cat err.txt)"
fi
[ -z "$(ls -A "$TMPDIR")" ] || fail "left $(ls "$TMPDIR") behind"
[ "$(ls -A)" = "$(printf 'big.dat\ncase.kqa\nerr.txt\nloop.kqa\nout.txt\ntmp')" ] || fail "left $(ls -A) behind"
[ -z "$other" ] || [ -z "$(ls -A "$other")" ] || fail "left $(ls -A "$other") on the other file system"
echo "a 300 MB copy, move, byte change and pack in 150 MB of spare address space; a copy or pack cut short leaves nothing"
