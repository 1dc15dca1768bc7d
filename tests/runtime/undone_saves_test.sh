#!/usr/bin/env bash
# Saves in place, the journals that undo killed ones, the state folder and
# the waits on other programs, end to end, each case a row of the table at
# the end. Run as root: its programs run as the users nobody (no home
# folder, as its passwd entry says) and zvsaver (made when missing, with a
# home folder), in a mount namespace with /tmp, /var/tmp and that home its
# own, so that two runs at once never meet. A save is killed or held at its
# own mark: it stops itself (ZV_TEST_STOP_AT=rewriting) once its journal is
# kept and the part past the old end is in the file. RUN_ROWS names the
# rows to run by hand.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/naps.sh"
zentrovex=$(readlink -f "$1")
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root, to run programs as two users and to mount file systems"; exit 77; }
python=/usr/bin/python3  # the system's, which every user may run
[ -x "$python" ] || { echo "SKIP: $python is not installed"; exit 77; }
if [ -z "${ZV_OWN_MOUNTS:-}" ]; then
  unshare -m --propagation private true 2> /dev/null || { echo "SKIP: no mount namespace can be made here"; exit 77; }
  # On the disk, outside the namespace's private /tmp and /var/tmp.
  base=$(mktemp -d -p /var/tmp) && chmod 755 "$base"
  unshare -m --propagation private env ZV_OWN_MOUNTS="$base $(readlink /proc/self/ns/mnt)" "$0" "$@"
  status=$?
  rm -rf "$base"
  exit $status
fi
# Two runs may make the user at once: the second's useradd fails, and finds it.
id zvsaver > /dev/null 2>&1 || useradd --create-home --shell /usr/sbin/nologin zvsaver 2> /dev/null ||
  id zvsaver > /dev/null 2>&1 || { echo "SKIP: the user zvsaver cannot be made"; exit 77; }
zv_home=$(getent passwd zvsaver | cut -d: -f6)
# The executable's folder is reached through a mount of its own, so that a
# build tree under /tmp stays in reach, and the work folder through one
# under the private /tmp.
# It mounts over /tmp and /var/tmp, and empties /var/tmp/zentrovex-*: never
# in the mount namespace it was started in, which other runs share.
read -r base started_in <<< "$ZV_OWN_MOUNTS"
[ "$(readlink /proc/self/ns/mnt)" != "$started_in" ] ||
  { echo "FAIL: not in a mount namespace of its own: /tmp and /var/tmp are shared" >&2; exit 1; }
mkdir "$base/bin" "$base/work" && chmod 755 "$base/work" && mount --bind "${zentrovex%/*}" "$base/bin" &&
  mkdir -p "$zv_home" && mount -t tmpfs -o mode=755 tmpfs "$zv_home" && chown zvsaver: "$zv_home" &&
  mount -t tmpfs -o mode=1777 tmpfs /tmp && mkdir -m 755 /tmp/run && mount --rbind "$base" /tmp/run &&
  mount -t tmpfs -o mode=1777 tmpfs /var/tmp ||
  { echo "SKIP: /tmp, /var/tmp and $zv_home cannot be made private"; exit 77; }
zentrovex=/tmp/run/bin/${zentrovex##*/} work=/tmp/run/work
cleanup() {
  for m in "$work"/mnt "$work"/ram "$work"/full; do ! mountpoint -q "$m" 2> /dev/null || umount "$m"; done
  for l in $(losetup -j "$work/fs.img" -O NAME -n 2> /dev/null); do losetup -d "$l"; done
}
trap cleanup EXIT
setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$zentrovex" ||
  { echo "SKIP: the user nobody cannot run $zentrovex"; exit 77; }
nobody() { env -u HOME XDG_STATE_HOME="$work/state-nobody" setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"; }
# nobody with no state folder: the one of its passwd entry's home cannot be made.
homeless() { env -u HOME -u XDG_STATE_HOME setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"; }
zvsaver() { env -u HOME -u XDG_STATE_HOME setpriv --reuid=zvsaver --regid=zvsaver --init-groups -- "$@"; }
crlf() { printf '%s\r\n' "$@"; }
why=
no() { why=$*; return 1; }

# The array a save writes (3001 numbers, i at i: 12,004 bytes) over the old
# content (1001 fives: 4,004 bytes), in r/s.dat, which has a second name.
crlf 'dim a(3000) : for i = 0 to 3000 : a(i) = i : next i' 'save number array "s.dat", a(0)' > "$work/save.kqa"
crlf 'dim a(3000) : for i = 0 to 3000 : a(i) = 7 : next i' 'save number array "s.dat", a(0)' > "$work/save7.kqa"
(cd "$work" && crlf 'dim a(1000) : for i = 0 to 1000 : a(i) = 5 : next i' 'save number array "old.ref", a(0)' > old.kqa &&
  "$zentrovex" run --headless old.kqa) || { echo "FAIL: the old content could not be made" >&2; exit 1; }
fresh() {
  rm -rf "$work/r" && mkdir -m 777 "$work/r"
  cp "$work/old.ref" "$work/r/s.dat"
  ln "$work/r/s.dat" "$work/r/second.dat" && chown 65534:65534 "$work/r/s.dat"
}
# Whether the process $1 stopped itself (ZV_TEST_STOP_AT) before it ended.
stopped() {
  local state
  # Only a hang reaches the bound.
  for _ in $(seq 1 6000); do
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2> /dev/null)
    [ "$state" != T ] || return 0
    [ -n "$state" ] && [ "$state" != Z ] || return 1
    sleep 0.01
  done
  return 1
}
# Whether the process $1 waits on another program: its main thread sleeps
# between looks at a lock (the syscalls nanosleep and clock_nanosleep).
waiting() {
  for _ in $(seq 1 3000); do [[ "$(cat "/proc/$1/syscall" 2> /dev/null)" =~ ^(35|230)\  ]] && return 0; sleep 0.01; done
  return 1
}
# held AS DIR PROGRAM: runs PROGRAM in DIR as the prefix as_prefix, held
# at its save's mark; sets `saver` (its process).
held() {
  local dir=$2 program=$3
  (cd "$dir" && ZV_TEST_STOP_AT=rewriting exec "${as_prefix[@]}" "$zentrovex" run --headless "$program") \
    > "$work/saver.out" 2>&1 &
  saver=$!
  stopped "$saver"
}
# Kills the held saver; once reaped its files are closed.
kill_held() {
  kill -KILL "$saver"
  wait "$saver" 2> /dev/null
}
# killed_save AS...: the save of save.kqa in $work/r killed once held.
killed_save() {
  as_prefix=("$@")
  held "$1" "$work/r" "$work/save.kqa" || return 1
  kill_held
  return 0
}
nobody_prefix=(env -u HOME XDG_STATE_HOME="$work/state-nobody" setpriv --reuid=65534 --regid=65534 --clear-groups --)

# ---- 1: a journal is applied only where nothing else wrote since -------------------------
# after_kill_then THEN [KEPT]: the next start keeps the old content as KEPT.
after_kill_then() {
  local then=$1 kept=${2:-$work/r/s.dat.kept}
  fresh
  killed_save "${nobody_prefix[@]}" || no "the save was not held" || return 1
  (cd "$work/r" && eval "$then") || no "the later write failed" || return 1
  cp "$work/r/s.dat" "$work/later.ref"
  nobody "$zentrovex" --version > /dev/null 2> "$work/said"
  cmp -s "$work/r/s.dat" "$work/later.ref" || no "the later content was rolled back ($(stat -c %s "$work/r/s.dat") bytes)" || return 1
  cmp -s "$kept" "$work/old.ref" || no "the old content was not kept as $kept" || return 1
  grep -q "kept as \"$kept\"" "$work/said" || no "the start did not say so: $(cat "$work/said")"
}
row_other_program() { after_kill_then "nobody $python -c \"f = open('s.dat', 'r+b'); f.write(b'newer' * 100); f.truncate(500)\""; }
row_cp_over() { after_kill_then "head -c 3000 /dev/urandom > backup.dat && nobody cp backup.dat s.dat"; }
row_other_state_folder() {
  after_kill_then "env -u HOME XDG_STATE_HOME=$work/state-other setpriv --reuid=65534 --regid=65534 --clear-groups -- \
    $zentrovex run --headless $work/save7.kqa"
}
# A shared score file of zvsaver's (mode 666) in a folder neither may write.
row_other_user() {
  fresh
  chown zvsaver "$work/r/s.dat" && chmod 666 "$work/r/s.dat" && chmod 755 "$work/r"
  killed_save "${nobody_prefix[@]}" || no "the save was not held" || return 1
  (cd "$work/r" && zvsaver env XDG_STATE_HOME="$work/state-zv" "$zentrovex" run --headless "$work/save7.kqa") ||
    no "zvsaver's save failed" || return 1
  cp "$work/r/s.dat" "$work/later.ref"
  nobody "$zentrovex" --version > /dev/null 2> "$work/said"
  cmp -s "$work/r/s.dat" "$work/later.ref" || no "zvsaver's save was rolled back" || return 1
  grep -q 'kept as' "$work/said" || no "the start did not say where the old content went: $(cat "$work/said")" || return 1
  cmp -s "$work/state-nobody/zentrovex/kept/s.dat.kept" "$work/old.ref" || no "the old content was not kept"
}

# A later save by another copy of the game, whose pages each match the
# killed save's old or new content, is put back to the old only with what
# it wrote kept and said.
row_later_save_matching_pages() {
  crlf 'dim a(3000) : for i = 0 to 3000 : a(i) = i : next i' 'for i = 0 to 1000 : a(i) = 5 : next i' \
    'save number array "s.dat", a(0)' > "$work/matching.kqa"
  local kept=$work/state-nobody/zentrovex/kept/s.dat.replaced
  after_kill_then "env -u HOME XDG_STATE_HOME=$work/state-other setpriv --reuid=65534 --regid=65534 --clear-groups -- \
    $zentrovex run --headless $work/matching.kqa" "$kept"
  cmp -s "$work/later.ref" "$kept" || no "the later save was not kept: $(cat "$work/said")" || return 1
  grep -q "has its old content back, and what it held is kept as \"$kept\"" "$work/said" ||
    no "the start did not say so: $(cat "$work/said")"
}

# ---- 12: two saves of one file, the first killed while the second waits for it ------------
# The second undoes the first, keeps its own journal and says nothing
# false; killed in turn, it leaves the old content.
row_two_saves_one_killed() {
  fresh
  as_prefix=("${nobody_prefix[@]}")
  held nobody "$work/r" "$work/save.kqa" || no "the first save was not held" || return 1
  (cd "$work/r" && ZV_TEST_STOP_AT=rewriting exec "${nobody_prefix[@]}" "$zentrovex" run --headless "$work/save7.kqa") \
    > "$work/second.out" 2>&1 &
  local second=$!
  waiting "$second" || no "the second save did not wait for the first" || return 1
  kill_held
  stopped "$second" || no "the second save did not reach its rewrite: $(cat "$work/second.out")" || return 1
  [ -n "$(ls -A "$work/state-nobody/zentrovex/saves")" ] || no "the second save kept no journal" || return 1
  kill -KILL "$second"
  wait "$second" 2> /dev/null
  nobody "$zentrovex" --version > /dev/null 2> "$work/said"
  cmp -s "$work/r/second.dat" "$work/old.ref" || no "the file holds $(stat -c %s "$work/r/s.dat") bytes" || return 1
  ! grep -q 'without a journal\|no such file' "$work/second.out" || no "the second save said: $(cat "$work/second.out")"
}

# Every NAME.kept name beside the file is taken, and later saves go on.
row_kept_names_taken() {
  after_kill_then "touch s.dat.kept s.dat.kept.{1..99} && nobody $python -c \"open('s.dat', 'r+b').write(b'newer')\"" \
    "$work/state-nobody/zentrovex/kept/s.dat.kept" || return 1
  (cd "$work/r" && nobody "$zentrovex" run --headless "$work/save.kqa" > "$work/said" 2>&1) ||
    no "the next save in place failed: $(cat "$work/said")" || return 1
  [ "$(stat -c %s "$work/r/s.dat")" = 12004 ] || no "the next save did not save"
}

# ---- 2: the state folder is the user's own ------------------------------------------------
# plant JOURNAL|beside FILE CONTENT: a killed save's journal putting CONTENT back over FILE.
cat > "$work/plant.py" << 'EOF'
import fcntl, os, struct, subprocess, sys
journal, target, content = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3].encode()
st = os.stat(target)
born = subprocess.run(['stat', '-c', '%W %w', target], capture_output=True, text=True).stdout.split()
seconds = int(born[0]) if born[0] != '0' else 0
nanoseconds = int(born[2].split('.')[1]) if seconds and '.' in born[2] else 0
generation = bytearray(8)
try:
    fcntl.ioctl(os.open(target, os.O_RDONLY | os.O_NONBLOCK), 0x80087601, generation)  # FS_IOC_GETVERSION
except OSError:
    pass
generation = struct.unpack('<I', generation[:4])[0]
if journal == 'beside':
    journal = os.path.join(os.path.dirname(target), '.zv-journal-%x-%x.%x-%x' % (st.st_ino, seconds, nanoseconds, generation))
size, M = st.st_size, (1 << 64) - 1
old = (content * (size // max(len(content), 1) + 1))[:size]
now = open(target, 'rb').read() if os.path.isfile(target) else b''
def part_hash(b):
    h = 0x9E3779B97F4A7C15 ^ len(b)
    for i in range(0, len(b) - len(b) % 8, 8):
        h = ((h ^ int.from_bytes(b[i:i + 8], 'little')) * 0xff51afd7ed558ccd) & M
        h ^= h >> 32
    h = ((h ^ int.from_bytes(b[len(b) - len(b) % 8:], 'little')) * 0xc4ceb9fe1a85ec53) & M
    return h ^ (h >> 29)
new_size, hashes, at = size + 8192, [], 0
while at < new_size:
    end = min(new_size, (at // 4096 + 1) * 4096, size if at < size else new_size)
    hashes.append(part_hash(now[at:end]) if end <= size else 0)
    at = end
path = target.encode()
head = b'ZVSAVEJ3' + struct.pack('<QqIIIQQII', st.st_ino, seconds, nanoseconds, generation, 1, size, new_size,
                                 len(path), len(hashes)) + path + b''.join(struct.pack('<Q', h) for h in hashes)
open(journal, 'wb').write(head + old)
EOF
plant() { "$python" "$work/plant.py" "$@"; }
row_planted_in_tmp() {
  rm -rf "$work/z" "$work/fifo"
  mkdir -p "$work/z" && printf 'my notes' > "$work/z/notes.txt" && chown -R zvsaver "$work/z"
  nobody mkdir -p /tmp/.local/state/zentrovex/saves
  mkfifo -m 666 "$work/fifo" && chown 65534 "$work/fifo"
  local dev ino
  read -r dev ino <<< "$(stat -c '%d %i' "$work/z/notes.txt")"
  nobody $python "$work/plant.py" "/tmp/.local/state/zentrovex/saves/$(printf '%x-%x' "$dev" "$ino")" "$work/z/notes.txt" planted
  read -r dev ino <<< "$(stat -c '%d %i' "$work/fifo")"
  nobody $python "$work/plant.py" "/tmp/.local/state/zentrovex/saves/$(printf '%x-%x' "$dev" "$ino")" "$work/fifo" x
  # zvsaver's own state folder, in the home of its passwd entry, has one
  # naming the pipe too, and one of another user's.
  local own="$zv_home/.local/state/zentrovex/saves"
  zvsaver mkdir -p "$own"
  zvsaver "$python" "$work/plant.py" "$own/pipe" "$work/fifo" x
  plant "$own/another" "$work/z/notes.txt" "planted by root" && chown 65534 "$own/another"
  local start=$SECONDS
  (cd "$work/z" && timeout -s KILL 30 setpriv --reuid=zvsaver --regid=zvsaver --init-groups -- env -u HOME -u XDG_STATE_HOME \
    "$zentrovex" --version > /dev/null 2> "$work/said") || no "the start did not end within 30 s" || return 1
  [ "$(cat "$work/z/notes.txt")" = "my notes" ] || no "notes.txt was replaced: $(cat "$work/z/notes.txt")" || return 1
  grep -q "refused the journal \"$own/pipe\"" "$work/said" && grep -q "refused the journal \"$own/another\"" "$work/said" ||
    no "the journals of another user and naming a pipe were not named: $(cat "$work/said")"
}
# nobody (HOME unset, no home folder) saves in place first, then zvsaver.
row_two_users_without_home() {
  fresh
  chmod 666 "$work/r/s.dat"
  (cd "$work/r" && setpriv --reuid=65534 --regid=65534 --clear-groups -- env -u HOME -u XDG_STATE_HOME \
    "$zentrovex" run --headless "$work/save7.kqa" > "$work/said" 2>&1) || no "nobody's save failed: $(cat "$work/said")" || return 1
  (cd "$work/r" && zvsaver "$zentrovex" run --headless "$work/save.kqa" > "$work/said" 2>&1) ||
    no "zvsaver's save after nobody's failed: $(cat "$work/said")" || return 1
  [ ! -e /tmp/.local ] || no "a state folder was made in /tmp"
}

# ---- 3: a journal follows its file to another device ---------------------------------------
row_another_device() {
  truncate -s 64M "$work/fs.img" && mkfs.ext4 -q -F "$work/fs.img" 2> /dev/null || no "mkfs.ext4 failed" || return 77
  local first second
  first=$(losetup --find --show "$work/fs.img" 2> /dev/null) || no "no loop device can be set up here" || return 77
  mkdir -p "$work/mnt" && mount "$first" "$work/mnt" || no "$first cannot be mounted" || return 77
  chmod 777 "$work/mnt"
  cp "$work/old.ref" "$work/mnt/s.dat"
  ln "$work/mnt/s.dat" "$work/mnt/second.dat" && chown 65534:65534 "$work/mnt/s.dat"
  as_prefix=("${nobody_prefix[@]}")
  held nobody "$work/mnt" "$work/save.kqa" || no "the save was not held" || return 1
  kill_held
  # A killed process lets go of its files a little after it is gone (long
  # after, under the sanitizers): only a hang reaches the bound.
  for _ in $(seq 1 600); do umount "$work/mnt" 2> /dev/null && break; sleep 0.1; done
  ! mountpoint -q "$work/mnt" || no "$first stays busy after the saver was killed: $(fuser -vm "$work/mnt" 2>&1)" || return 1
  # The same file system under a second loop device, while the first stays.
  second=$(losetup --find --show "$work/fs.img" 2> /dev/null) || no "no second loop device here" || return 77
  mount "$second" "$work/mnt" || no "$second cannot be mounted" || return 77
  crlf 'dim a(3000) : load number array "s.dat", a(0)' 'print a(0); " "; a(1); " "; a(3000)' > "$work/load.kqa"
  nobody "$zentrovex" --version > /dev/null 2>&1
  (cd "$work/mnt" && nobody "$zentrovex" run --headless "$work/load.kqa" > /dev/null 2>&1)
  cmp -s "$work/mnt/s.dat" "$work/old.ref" || no "the file is torn under $second ($(stat -c %s "$work/mnt/s.dat") bytes)" || return 1
  [ -z "$(ls -A "$work/state-nobody/zentrovex/saves")" ] || no "the journal stayed"
}

# ---- 9: a journal follows its file, whatever its names are now --------------------------------
# The save's name leads to another file since, and the torn one has its
# second name; or a program lists the folder and moves the torn file.
row_journal_follows_its_file() {
  fresh
  killed_save "${nobody_prefix[@]}" || no "the save was not held" || return 1
  echo backup > "$work/r/backup.txt" && mv "$work/r/backup.txt" "$work/r/s.dat"
  nobody "$zentrovex" --version > /dev/null 2> "$work/said"
  cmp -s "$work/r/second.dat" "$work/old.ref" || no "the torn file was not put back: $(cat "$work/said")" || return 1
  [ "$(cat "$work/r/s.dat")" = backup ] && [ ! -e "$work/r/s.dat.kept" ] || no "the start took s.dat for the torn file" || return 1
  fresh
  mkdir "$work/r/sub" && chown -R 65534 "$work/r" && chmod 755 "$work/r"
  killed_save env -u HOME -u XDG_STATE_HOME setpriv --reuid=65534 --regid=65534 --clear-groups -- ||
    no "the save beside was not held" || return 1
  crlf 'checklist files' 'for i = 1 to checklist quantity() : print checklist string$(i) : next i' \
    'move file "s.dat", "sub/s.dat"' 'dim a(3000) : load number array "sub/s.dat", a(0)' \
    'print "read "; a(0); " "; a(1000); " "; a(1001); " "; a(3000)' > "$work/move.kqa"
  (cd "$work/r" && homeless "$zentrovex" run --headless "$work/move.kqa" > "$work/said" 2>&1)
  grep -q second.dat "$work/said" && ! grep -q zv-journal "$work/said" || no "the listing was: $(cat "$work/said")" || return 1
  grep -q "read 5 5 0 0" "$work/said" || no "the moved file read: $(cat "$work/said")"
}

# ---- 10: a journal is trusted only where no one else could have put it ------------------------
# A journal planted in the saver's folder that its group may write; anything
# at the journal's name in a folder every user may write.
row_journal_in_a_shared_folder() {
  fresh
  chown 65534:65534 "$work/r" && chmod 775 "$work/r"
  nobody "$python" "$work/plant.py" beside "$work/r/s.dat" ATTACKER-BYTES
  (cd "$work/r" && homeless "$zentrovex" run --headless "$work/reader.kqa" > "$work/said" 2>&1)
  cmp -s "$work/r/s.dat" "$work/old.ref" || no "s.dat became $(head -c 20 "$work/r/s.dat")" || return 1
  grep -q "passed over the journal \"$work/r/.zv-journal-" "$work/said" || no "the load said: $(cat "$work/said")" || return 1
  fresh
  chmod 1777 "$work/r"
  plant beside "$work/r/s.dat" x
  (cd "$work/r" && homeless "$zentrovex" run --headless "$work/save.kqa" > "$work/said" 2>&1) ||
    no "the save failed: $(cat "$work/said")" || return 1
  [ "$(stat -c %s "$work/r/s.dat")" = 12004 ] || no "the file was not saved" || return 1
  grep -q 'journals of saves in place go to "/var/tmp/zentrovex-65534/saves"' "$work/said" ||
    no "the save did not say where its journal went: $(cat "$work/said")"
}

# ---- 4: a reader never reads part of each content ------------------------------------------
# Prints a(0), a(1000), a(1001) and a(3000): "0 1000 1001 3000" for the new
# content, "5 5 0 0" for the old, "5 5 1001 3000" for part of each.
crlf 'dim a(3000) : load number array "s.dat", a(0)' \
  'print "read "; a(0); " "; a(1000); " "; a(1001); " "; a(3000)' > "$work/reader.kqa"
row_reader_of_a_stopped_saver() {
  fresh
  as_prefix=("${nobody_prefix[@]}")
  held nobody "$work/r" "$work/save.kqa" || no "the save was not held" || return 1
  (cd "$work/r" && nobody "$zentrovex" run --headless "$work/reader.kqa" > "$work/said" 2>&1)
  kill_held
  ! grep -q "read 5 5 1001 3000" "$work/said" || no "the reader read torn content: $(cat "$work/said")" || return 1
  grep -q 'in use by another program, which is saving it' "$work/said" || no "the reader did not say why: $(cat "$work/said")"
}
row_reader_when_the_saver_is_killed() {
  fresh
  as_prefix=("${nobody_prefix[@]}")
  held nobody "$work/r" "$work/save.kqa" || no "the save was not held" || return 1
  (cd "$work/r" && exec "${nobody_prefix[@]}" "$zentrovex" run --headless "$work/reader.kqa" > "$work/said" 2>&1) &
  local reader=$!
  waiting "$reader" || no "the reader did not wait for the saver" || return 1
  kill_held; wait "$reader"
  grep -q "read 5 5 0 0" "$work/said" || no "the reader said: $(cat "$work/said")"
}

# ---- 5: waits on the registry and the kept list are bounded ---------------------------------
# Whether another process holds the file $1's lock (flock).
locked() {
  for _ in $(seq 1 3000); do flock -n "$1" true 2> /dev/null || return 0; sleep 0.01; done
  return 1
}
row_registry_held() {
  local ini="$work/config/zentrovex/registry/HKEY_CURRENT_USER.ini"
  mkdir -p "${ini%/*}" && chmod -R 777 "$work/config" && : > "$ini" && chmod 666 "$ini"
  flock "$ini" sleep 40 & local holder=$!
  locked "$ini" || no "the registry's lock was not taken" || return 1
  crlf 'write registry dword "Software\Game", "Lives", 5' 'print "went on"' > "$work/reg.kqa"
  local start=$SECONDS
  timeout 30 env XDG_CONFIG_HOME="$work/config" "${nobody_prefix[@]}" "$zentrovex" run --headless "$work/reg.kqa" \
    > "$work/said" 2>&1
  local status=$? took=$((SECONDS - start))
  kill "$holder"; wait "$holder" 2> /dev/null
  [ $status != 124 ] || no "the write waited past 30 s for the holder" || return 1
  grep -q "HKEY_CURRENT_USER.ini.*in use by another program, which is saving it" "$work/said" ||
    no "after ${took} s it said: $(cat "$work/said")"
}
# A stop signal ends the game's wait at once, and the game with it.
row_kept_list_held() {
  mkdir -p "$work/game" "$work/kg" && chmod 777 "$work/kg"
  crlf 'dim a(3) : a(1) = 100 : save number array "scores.dat", a(0)' > "$work/game/game.kqa"
  (cd "$work/game" && "$zentrovex" run --headless game.kqa > /dev/null) && "$zentrovex" build "$work/game/game.kqa" \
    -o "$work/kg/game" > /dev/null || no "the game was not built" || return 1
  : > "$work/kg/.zentrovex-kept" && chmod 666 "$work/kg/.zentrovex-kept"
  flock "$work/kg/.zentrovex-kept" sleep 40 & local holder=$!
  locked "$work/kg/.zentrovex-kept" || no "the kept list's lock was not taken" || return 1
  (cd "$work/kg" && ZENTROVEX_HEADLESS=1 exec "${nobody_prefix[@]}" ./game > "$work/said" 2>&1) & local game=$!
  # It waits with the list open.
  for _ in $(seq 1 1000); do ls -l "/proc/$game/fd" 2> /dev/null | grep -q zentrovex-kept && break; sleep 0.01; done
  local start=$SECONDS
  kill -TERM "$game"; wait "$game"
  local status=$? took=$((SECONDS - start))
  kill "$holder"; wait "$holder" 2> /dev/null
  [ $status = 143 ] && [ $took -lt 5 ] || no "SIGTERM ended the game after $took s (status $status): $(cat "$work/said")"
}

# ---- 6: a reader of a file makes another game's save in place a warning --------------------
# The reader looks again meanwhile (opening and closing it), saves in place
# itself, and reads on the old content, whole.
row_save_beside_a_reader() {
  fresh
  crlf 'open file to read 1, "s.dat" : read file dword 1, v' \
    'e = file exists("s.dat") + file size("s.dat") + read byte from file("s.dat", 0)' \
    'dim b(1000) : load number array "s.dat", b(0) : save number array "s.dat", b(0) : print "open"' \
    'repeat : wait 10 : until file exists("go")' \
    'n = 0 : m = 0 : read file dword 1, v' 'while file end(1) = 0' 'm = m + 1 : if v = 5 then n = n + 1' \
    'read file dword 1, v' 'endwhile' 'print n; " old values of "; m' 'close file 1' > "$work/r/holder.kqa"
  mkdir -p "$work/sg" && cp "$work/save.kqa" "$work/sg/sg.kqa" && printf 'print "went on"\r\n' >> "$work/sg/sg.kqa"
  "$zentrovex" build "$work/sg/sg.kqa" -o "$work/r/saver" > /dev/null || no "the saver was not built" || return 1
  (cd "$work/r" && nobody "$zentrovex" run --headless holder.kqa > holder.out 2>&1) & local holder=$!
  for _ in $(seq 1 1000); do grep -q open "$work/r/holder.out" 2> /dev/null && break; sleep 0.01; done
  (cd "$work/r" && ZENTROVEX_HEADLESS=1 nobody ./saver > "$work/said" 2>&1)
  touch "$work/r/go"; wait "$holder"
  grep -q 'in use by another program, which is reading it' "$work/said" && grep -q 'went on' "$work/said" ||
    no "the game said: $(cat "$work/said")" || return 1
  cmp -s "$work/r/s.dat" "$work/old.ref" || no "the file changed under its reader" || return 1
  grep -q '^ *1000 old values of 1000\b' "$work/r/holder.out" || no "the reader read: $(cat "$work/r/holder.out")"
}

# ---- 7: a save in place has its journal where only its user may write, or is refused --------
# Without a state folder, the spare one in /var/tmp takes it (nothing goes
# beside the file in a folder others may write), and the run says why; a
# kill then leaves the old content, whatever name reads it, also where the
# state folder is full. Where the spare folder is another user's too, the
# save is refused.
row_no_home() {
  fresh
  (cd "$work/r" && setpriv --reuid=65534 --regid=65534 --clear-groups -- env -u XDG_STATE_HOME HOME=/nonexistent \
    "$zentrovex" run --headless "$work/save.kqa" > "$work/said" 2>&1) || no "the save failed: $(cat "$work/said")" || return 1
  [ "$(stat -c %s "$work/r/s.dat")" = 12004 ] || no "the file was not saved" || return 1
  grep -qx "zentrovex: journals of saves in place go to \"/var/tmp/zentrovex-65534/saves\" in this run: \
the state folder \"/nonexistent/.local/state/zentrovex\": permission denied" "$work/said" ||
    no "the run said: $(cat "$work/said")"
}
row_killed_without_a_state_folder() {
  mkdir -p "$work/full" && mount -t tmpfs -o size=64k,mode=777 tmpfs "$work/full" ||
    no "no tmpfs can be mounted" || return 77
  nobody dd if=/dev/zero of="$work/full/fill" bs=4k 2> /dev/null
  local state
  for state in "-u XDG_STATE_HOME" "XDG_STATE_HOME=$work/full"; do
    fresh
    as_prefix=(env -u HOME $state setpriv --reuid=65534 --regid=65534 --clear-groups --)
    held nobody "$work/r" "$work/save.kqa" || no "the save ($state) was not held: $(cat "$work/saver.out")" || return 1
    kill_held
    "${as_prefix[@]}" "$zentrovex" --version > /dev/null 2>&1
    cmp -s "$work/r/second.dat" "$work/old.ref" ||
      no "after a kill ($state) second.dat holds $(stat -c %s "$work/r/second.dat") bytes" || return 1
  done
  fresh
  rm -rf /var/tmp/zentrovex-65534 && mkdir /var/tmp/zentrovex-65534 && chown zvsaver /var/tmp/zentrovex-65534
  (cd "$work/r" && homeless "$zentrovex" run --headless "$work/save.kqa" > "$work/said" 2>&1)
  cmp -s "$work/r/s.dat" "$work/old.ref" || no "the save went on without a journal" || return 1
  grep -q 'no folder only its user may write could keep its journal' "$work/said" &&
    grep -q '"/var/tmp/zentrovex-65534": it is another user.s' "$work/said" || no "the save said: $(cat "$work/said")"
}
row_state_folder_unwritable() {
  fresh
  chmod 666 "$work/r/s.dat" && chown root "$work/r/s.dat" && chmod 755 "$work/r"  # saved in place, nothing beside
  mkdir -p "$work/locked-state"
  (cd "$work/r" && setpriv --reuid=65534 --regid=65534 --clear-groups -- env XDG_STATE_HOME="$work/locked-state" \
    "$zentrovex" run --headless "$work/save.kqa" > "$work/said" 2>&1) || no "the save failed: $(cat "$work/said")" || return 1
  [ "$(stat -c %s "$work/r/s.dat")" = 12004 ] || no "the file was not saved" || return 1
  [ "$(grep -c "the state folder \"$work/locked-state/zentrovex\": permission denied" "$work/said")" = 1 ] ||
    no "the run did not name the state folder once: $(cat "$work/said")"
}

# ---- 8: numbered writes are synced, and a byte written takes the writer's lock ---------------
row_writes_synced() {
  rm -rf "$work/w" && mkdir -m 777 "$work/w"
  crlf 'open file to write 1, "a.dat" : write file string 1, "x"' 'make memblock 1, 8 : write memblock to file 1, 1' \
    'close file 1 : make file "b.dat"' > "$work/w/w.kqa"
  command -v strace > /dev/null || no "strace is not installed" || return 77
  (cd "$work/w" && strace -f -qq -e trace=fsync,fdatasync -o trace "$zentrovex" run --headless w.kqa > /dev/null 2>&1)
  [ "$(grep -cE 'fsync|fdatasync' "$work/w/trace")" -ge 4 ] || no "the writes were synced $(grep -cE 'sync' "$work/w/trace") times"
}
row_byte_under_a_writer() {
  rm -rf "$work/w" && mkdir -m 777 "$work/w"
  crlf 'open file to write 1, "w.dat" : write file string 1, "first" : print "open"' \
    'repeat : wait 10 : until file exists("go")' 'write file string 1, "later" : close file 1' > "$work/w/writer.kqa"
  (cd "$work/w" && nobody "$zentrovex" run --headless writer.kqa > writer.out 2>&1) & local writer=$!
  for _ in $(seq 1 1000); do grep -q open "$work/w/writer.out" 2> /dev/null && break; sleep 0.01; done
  crlf 'write byte to file "w.dat", 0, 88' > "$work/w/byte.kqa"
  (cd "$work/w" && nobody "$zentrovex" run --headless byte.kqa > "$work/said" 2>&1)
  touch "$work/w/go"; wait "$writer"
  [ "$(tr -d '\r' < "$work/w/w.dat" | tr '\n' ' ')" = "first later " ] || no "the writer's file became: $(cat "$work/w/w.dat")" || return 1
  grep -q 'which has it open for writing' "$work/said" || no "the byte's write said: $(cat "$work/said")"
}

# ---- 13: a journal holding the only copy of content is never deleted -----------------------
# Its file moved out of its folder for a week: the old content goes to the
# kept folder, said. On ramfs (no birth, no generation) a journal whose name
# leads to another file cannot find its file: the old content goes there at
# once, and the start says what it did.
row_journal_of_a_lost_file() {
  local kept=$work/state-nobody/zentrovex/kept/s.dat.kept
  fresh
  killed_save "${nobody_prefix[@]}" || no "the save was not held" || return 1
  mkdir -p "$work/away" && mv "$work/r/s.dat" "$work/r/second.dat" "$work/away/"
  touch -d '8 days ago' "$work"/state-nobody/zentrovex/saves/*
  nobody "$zentrovex" --version > /dev/null 2> "$work/said"
  cmp -s "$kept" "$work/old.ref" && grep -q "for a week; .* kept as \"$kept\"" "$work/said" ||
    no "after a week the start said: $(cat "$work/said")" || return 1
  mkdir -p "$work/ram" && mount -t ramfs -o mode=777 ramfs "$work/ram" || no "no ramfs can be mounted" || return 77
  cp "$work/old.ref" "$work/ram/s.dat" && ln "$work/ram/s.dat" "$work/ram/second.dat" &&
    chown 65534:65534 "$work/ram/s.dat"
  as_prefix=("${nobody_prefix[@]}")
  held nobody "$work/ram" "$work/save.kqa" || no "the save on ramfs was not held" || return 1
  kill_held
  echo backup > "$work/ram/backup" && mv "$work/ram/backup" "$work/ram/s.dat"
  nobody "$zentrovex" --version > /dev/null 2> "$work/said"
  cmp -s "$kept.1" "$work/old.ref" && grep -q "kept as \"$kept.1\"" "$work/said" && ! grep -q until "$work/said" ||
    no "on ramfs the start said: $(cat "$work/said")"
}

# ---- 14: a file deleted and written anew is replaced in one step at its close -----------------
# killed_run KILL AS...: $work/run.kqa run in $work/w as AS..., killed once
# it printed KILL, or stopped itself at the mark @MOMENT (ZV_TEST_STOP_AT),
# or waits on another program for "~", run to its end for ""; its output in
# $work/run.out, and what $work/w held just before the kill in
# $work/before_kill.
killed_run() {
  local kill=$1 run
  shift
  (cd "$work/w" && ZV_TEST_STOP_AT=${kill#@} exec "$@" "$zentrovex" run --headless "$work/run.kqa") > "$work/run.out" 2>&1 &
  run=$!
  if [[ $kill == @* ]]; then
    stopped "$run" || no "the run did not stop at ${kill#@}: $(cat "$work/run.out")" || return 1
  elif [ "$kill" = "~" ]; then
    waiting "$run" || no "the run did not wait on another program: $(cat "$work/run.out")" || return 1
  elif [ -n "$kill" ]; then
    for _ in $(seq 1 3000); do grep -q "$kill" "$work/run.out" && break; kill -0 "$run" 2> /dev/null || break; sleep 0.01; done
  fi
  ls -A "$work/w" > "$work/before_kill"
  [ -z "$kill" ] || kill -KILL "$run"
  wait "$run" 2> /dev/null
  [[ -z $kill || $kill == [@~]* ]] || grep -q "$kill" "$work/run.out" || no "the run ended before \"$kill\": $(cat "$work/run.out")"
}
# anew KILL EXPECT LINES...: the program of LINES, as anew_as (nobody), in a
# folder holding save.txt, killed at KILL (a printed mark, after which it
# goes on waiting); after the next start save.txt holds EXPECT ("" for no
# file), save.txt.kept what the killed run wrote anew when anew_kept gives
# it (the start naming it), and nothing else is left there.
anew_as=("${nobody_prefix[@]}")
anew() {
  local kill=$1 expect=$2
  shift 2
  rm -rf "$work/w" && mkdir -m 777 "$work/w" && crlf 'old save' > "$work/w/save.txt" &&
    chown 65534 "$work/w/save.txt"
  if [[ -n $kill && $kill != @* ]]; then crlf "$@" "print \"$kill\"" 'do : wait 10 : loop'; else crlf "$@"; fi > "$work/run.kqa"
  killed_run "$kill" "${anew_as[@]}" || return 1
  "${anew_as[@]}" "$zentrovex" --version > /dev/null 2>> "$work/run.out"
  local kept=${anew_kept:-}
  [ "$(cat "$work/w/save.txt" 2> /dev/null | tr -d '\r\n')" = "$expect" ] &&
    [ "$(ls -A "$work/w" | tr '\n' ' ')" = "${expect:+save.txt }${kept:+save.txt.kept }" ] ||
    no "killed at \"$kill\", the folder holds $(ls -A "$work/w"): $(cat "$work/run.out")" || return 1
  [ -z "$kept" ] || { [ "$(tr -d '\r\n' < "$work/w/save.txt.kept")" = "$kept" ] &&
    grep -qF "is kept as \"$work/w/save.txt.kept\"" "$work/run.out"; } ||
    no "killed at \"$kill\", save.txt.kept holds $(wc -c < "$work/w/save.txt.kept") bytes: $(cat "$work/run.out")"
}
delete='delete file "save.txt"' write='open file to write 1, "save.txt" : write file string 1, "new save"'
row_deleted_and_written_anew() {
  anew @held 'old save' "$delete" && anew_kept='new save' anew written 'old save' "$delete" "$write" sync &&
    anew '' 'new save' "$delete" "$write" 'close file 1' && anew '' '' "$delete"
}
# A log made anew each run, a line and a sync each frame, killed once its
# lines are written: the file keeps the last run's content, and what this
# run wrote is kept beside it as NAME.kept, which the next start names.
row_log_written_anew_killed() {
  anew_kept=$(printf 'line %d' $(seq 1 30)) anew logged 'old save' "$delete" 'open file to write 1, "save.txt"' \
    'for i = 1 to 30 : write file string 1, "line " + str$(i) : sync : next i'
}
# A deletion the program does not follow by a write of that name is final
# once its frame's work is done: nothing of it waits in the folder, and no
# kill brings it back.
row_a_deletion_stays() {
  anew later '' "$delete" 'wait 300' || return 1
  [ ! -s "$work/before_kill" ] || no "while the run went on, the folder held $(cat "$work/before_kill")" || return 1
  ! grep -q 'is back' "$work/run.out" || no "the start said: $(cat "$work/run.out")"
}
# So it is whatever else the program has open: a save slot given up while
# a log written anew is open.
row_a_deletion_stays_beside_a_log() {
  rm -rf "$work/w" && mkdir -m 777 "$work/w" && crlf 'old save' > "$work/w/save.txt" &&
    crlf 'last run' > "$work/w/log.txt" && chown 65534 "$work/w/save.txt" "$work/w/log.txt"
  crlf 'delete file "log.txt" : open file to write 1, "log.txt"' \
    'for i = 1 to 5 : write file string 1, "line" : sync : next i' \
    'delete file "save.txt" : for i = 1 to 3 : write file string 1, "line" : sync : next i' \
    'print "gone"' 'do : write file string 1, "line" : sync : loop' > "$work/run.kqa"
  killed_run gone "${nobody_prefix[@]}" || return 1
  nobody "$zentrovex" --version > /dev/null 2>> "$work/run.out"
  [ "$(ls -A "$work/w" | tr '\n' ' ')" = "log.txt log.txt.kept " ] ||
    no "the folder holds $(ls -A "$work/w" | tr '\n' ' '): $(cat "$work/run.out")"
}
# The pattern the help teaches over two files: each is held until its own
# close, whatever slices of the program pass while the first is written.
# two_anew MARK SAVE OPTS [FILES]: the program runs to MARK and waits there
# to be killed; then save.txt holds SAVE (its lines counted) and opts.txt
# OPTS, and the folder FILES (the two, and a NAME.kept of what the killed
# run wrote anew).
two_anew() {
  rm -rf "$work/w" && mkdir -m 777 "$work/w" && crlf 'old save' > "$work/w/save.txt" &&
    crlf 'old opts' > "$work/w/opts.txt" && chown 65534 "$work/w/save.txt" "$work/w/opts.txt"
  local steps=('delete file "save.txt" : delete file "opts.txt"'
    'open file to write 1, "save.txt" : for i = 1 to 300 : write file string 1, "new save" : next i'
    'sync : print "saving" : wait 100' 'close file 1 : open file to write 2, "opts.txt" : write file string 2, "new opts"'
    'sync : print "options" : wait 100' 'close file 2 : print "done"') step
  for step in "${steps[@]}"; do crlf "$step"; [[ $step != *"\"$1\""* ]] || break; done > "$work/run.kqa"
  crlf 'do : wait 10 : loop' >> "$work/run.kqa"
  killed_run "$1" "${nobody_prefix[@]}" || return 1
  nobody "$zentrovex" --version > /dev/null 2>> "$work/run.out"
  local save opts
  save=$(tr -d '\r' < "$work/w/save.txt" | sort | uniq -c | tr -s ' ') opts=$(tr -d '\r\n' < "$work/w/opts.txt")
  [ "$save $opts" = "$2 $3" ] && [ "$(ls -A "$work/w" | tr '\n' ' ')" = "${4:-opts.txt save.txt} " ] ||
    no "killed at \"$1\", save.txt holds \"$save\" and opts.txt \"$opts\" ($(ls -A "$work/w")): $(cat "$work/run.out")"
}
row_two_files_written_anew() {
  two_anew saving ' 1 old save' 'old opts' 'opts.txt save.txt save.txt.kept' &&
    two_anew options ' 300 new save' 'old opts' 'opts.txt opts.txt.kept save.txt' &&
    two_anew done ' 300 new save' 'new opts'
}
# What is written anew waits under a hidden name in a folder another user
# may write too: one who puts a file of theirs under that name meanwhile
# does not have it published as the save.
row_written_anew_beside_another_user() {
  rm -rf "$work/w" "$work/away" && mkdir -m 777 "$work/w" "$work/away" && crlf 'old save' > "$work/w/save.txt" &&
    chown 65534 "$work/w/save.txt"
  crlf "$delete" "$write" 'sync : print "written"' 'repeat : wait 10 : until file exists("go")' 'close file 1' \
    'print "closed"' > "$work/run.kqa"
  (cd "$work/w" && exec "${nobody_prefix[@]}" "$zentrovex" run --headless "$work/run.kqa") > "$work/run.out" 2>&1 &
  local run=$! hidden
  for _ in $(seq 1 3000); do grep -q written "$work/run.out" && break; kill -0 "$run" 2> /dev/null || break; sleep 0.01; done
  hidden=$(cd "$work/w" && ls -A | grep '^\.zv-apart-')
  [ -n "$hidden" ] && zvsaver sh -c "mv '$work/w/$hidden' '$work/away/' && echo evil > '$work/w/$hidden'" ||
    no "nothing waited under a hidden name: $(ls -A "$work/w")"
  touch "$work/w/go"
  wait "$run"
  [ "$(tr -d '\r\n' < "$work/w/save.txt")" = 'new save' ] && [ "$(stat -c %U "$work/w/save.txt")" = nobody ] ||
    no "save.txt holds $(cat "$work/w/save.txt"): $(cat "$work/run.out")"
}
# A new file is written under its name as it goes (a log stays readable);
# killed before its close, it is kept and the next start says it may be cut
# short, once. One closed is not named.
row_first_save_killed() {
  rm -rf "$work/w" && mkdir -m 777 "$work/w"
  crlf 'open file to write 1, "closed.txt" : close file 1' \
    'open file to write 1, "log.txt" : for i = 1 to 100 : write file string 1, "line " + str$(i) : next i' \
    'print "written"' 'do : wait 10 : loop' > "$work/run.kqa"
  killed_run written "${nobody_prefix[@]}" || return 1
  nobody "$zentrovex" --version > /dev/null 2> "$work/said"
  [ "$(tr -d '\r' < "$work/w/log.txt" | sed -n '1p;$p' | tr '\n' ' ')" = "line 1 line 100 " ] ||
    no "the log holds $(wc -l < "$work/w/log.txt") lines" || return 1
  [ "$(cat "$work/said")" = "zentrovex: \"$work/w/log.txt\" may be cut short: the program writing it was killed before \
it closed it ($(stat -c %s "$work/w/log.txt") bytes are there, kept as they are)" ] || no "the start said: $(cat "$work/said")" ||
    return 1
  nobody "$zentrovex" --version > /dev/null 2> "$work/said"
  [ ! -s "$work/said" ] && [ -z "$(ls -A "$work/state-nobody/zentrovex/writing")" ] ||
    no "the next start said: $(cat "$work/said")"
}
# ---- 18: a pack is whole or said ------------------------------------------------------------------
# A pack's writer killed on the way, while it waits for a file another
# program holds locked: the reader gives back the files before it and says
# how many the pack lacks.
row_killed_pack_writer() {
  rm -rf "$work/w" && mkdir -m 777 "$work/w" && mkdir "$work/w/tree"
  local i locker
  for i in $(seq 100 399); do head -c 2000 /dev/urandom > "$work/w/tree/f$i.dat"; done
  "$python" -c 'import fcntl, sys, time; f = open(sys.argv[1], "r+b"); fcntl.lockf(f, fcntl.LOCK_EX); print("locked", flush=True); time.sleep(60)' \
    "$work/w/tree/f200.dat" > "$work/locker.out" &
  locker=$!
  for _ in $(seq 1 3000); do grep -q locked "$work/locker.out" && break; sleep 0.01; done
  crlf 'open file to write 1, "pack.dat" : write dir block 1, "tree" : close file 1' > "$work/run.kqa"
  killed_run "~" "${nobody_prefix[@]}"
  local status=$?
  kill "$locker"; wait "$locker" 2> /dev/null
  [ $status = 0 ] || return 1
  crlf 'open file to read 1, "pack.dat" : read dir block 1, "out" : close file 1' > "$work/unpack.kqa"
  (cd "$work/w" && nobody "$zentrovex" run --headless "$work/unpack.kqa" > "$work/said" 2>&1)
  [ "$(ls "$work/w/out" | wc -l)" = 100 ] && cmp -s "$work/w/out/f199.dat" "$work/w/tree/f199.dat" ||
    no "the pack gave back $(ls "$work/w/out" | wc -l) files: $(cat "$work/said")" || return 1
  grep -qF 'Could not read from the file "pack.dat": the pack lacks 200 of its 300 files' "$work/said" ||
    no "the reader said: $(cat "$work/said")"
}
# Without a place for the records (the spare state folder another user's),
# a file deleted and written anew is still replaced in one step at its
# close, and a new file is written apart and takes its name whole then.
row_written_in_one_step_without_a_state_folder() {
  rm -rf /var/tmp/zentrovex-65534 && mkdir /var/tmp/zentrovex-65534 && chown zvsaver /var/tmp/zentrovex-65534
  anew_as=(env -u HOME -u XDG_STATE_HOME setpriv --reuid=65534 --regid=65534 --clear-groups --)
  local new='open file to write 1, "new.txt" : write file string 1, "new"'
  anew written 'old save' "$delete" "$write" && anew '' 'new save' "$delete" "$write" 'close file 1' &&
    anew written 'old save' "$new" && crlf "$new" 'close file 1' > "$work/run.kqa" && killed_run '' "${anew_as[@]}"
  local status=$?
  anew_as=("${nobody_prefix[@]}")
  [ $status = 0 ] || return 1
  [ "$(tr -d '\r\n' < "$work/w/new.txt")" = new ] || no "a new file closed without a state folder was not there"
}

# ---- 15: nothing of ours is made inside a state folder before it is checked --------------------
# The spare state folder another user's (that nobody may write), or a link
# to a folder nobody may write: a save in place, a delete and a new file
# make nothing in either.
row_state_folder_checked_first() {
  local spare=/var/tmp/zentrovex-65534 kind
  crlf 'delete file "second.dat" : open file to write 1, "new.txt" : close file 1' > "$work/run.kqa"
  for kind in another-user link; do
    rm -rf "$spare" "$work/elsewhere" && mkdir -m 777 "$work/elsewhere"
    if [ $kind = link ]; then ln -s "$work/elsewhere" "$spare"; else mkdir -m 777 "$spare" && chown zvsaver "$spare"; fi
    fresh
    (cd "$work/r" && homeless "$zentrovex" run --headless "$work/save.kqa" && homeless "$zentrovex" run --headless \
      "$work/run.kqa") > /dev/null 2>&1
    [ -z "$(ls -A "$spare/")$(ls -A "$work/elsewhere")" ] || no "$kind: it made $(ls -A "$spare/" "$work/elsewhere")" ||
      return 1
  done
}

# ---- 16: the copies beside a file are bounded as the kept folder is ----------------------------
# Copies beside past 1 GB (sparse): the next goes to the kept folder.
row_kept_copies_bounded() {
  after_kill_then "truncate -s 54M s.dat.kept s.dat.kept.{1..19} && chown 65534 s.dat.kept* &&
    nobody $python -c \"open('s.dat', 'r+b').write(b'newer')\"" "$work/state-nobody/zentrovex/kept/s.dat.kept" ||
    return 1
  [ ! -e "$work/r/s.dat.kept.20" ] || no "a copy went beside past the bound"
}

# ---- 17: a file several users save in place ----------------------------------------------------
# nobody's save of zvsaver's shared file (mode 666) is killed: zvsaver's
# read says the file may be torn until nobody's start undoes it. Two state
# folders in turn (the first sets its old content aside, the second puts
# back what the first tore) leave the mark, and reads say so. Where the
# file system keeps no mark, the save is refused.
marked() { "$python" -c "import os, sys; os.getxattr(sys.argv[1], 'user.zentrovex.saving')" "$1" 2> /dev/null; }
shared() {
  fresh
  chown zvsaver "$1/s.dat" && chmod 666 "$1/s.dat" && chmod 755 "$1"
}
read_as_zvsaver() { (cd "$work/r" && zvsaver env XDG_STATE_HOME="$work/state-zv" "$zentrovex" run --headless "$work/reader.kqa"); }
row_shared_file() {
  shared "$work/r"
  killed_save "${nobody_prefix[@]}" || no "the save was not held" || return 1
  marked "$work/r/s.dat" || no "the killed save left no mark" || return 1
  read_as_zvsaver > "$work/said" 2>&1
  grep -q "s.dat\" may be torn" "$work/said" || no "zvsaver's read said: $(cat "$work/said")" || return 1
  nobody "$zentrovex" --version > /dev/null 2>&1
  read_as_zvsaver > "$work/said" 2>&1
  cmp -s "$work/r/s.dat" "$work/old.ref" && ! marked "$work/r/s.dat" && [ "$(cat "$work/said")" = "read 5 5 0 0" ] ||
    no "once undone, zvsaver's read said: $(cat "$work/said")" || return 1
  crlf 'dim a(5000) : for i = 0 to 5000 : a(i) = 9 : next i' 'save number array "s.dat", a(0)' > "$work/save9.kqa"
  shared "$work/r"
  killed_save "${nobody_prefix[@]}" || no "the first save was not held" || return 1
  as_prefix=(env -u HOME XDG_STATE_HOME="$work/state-other" setpriv --reuid=65534 --regid=65534 --clear-groups --)
  held nobody "$work/r" "$work/save9.kqa" || no "the second save was not held" || return 1
  kill_held
  nobody "$zentrovex" --version > /dev/null 2>&1
  "${as_prefix[@]}" "$zentrovex" --version > /dev/null 2>&1
  read_as_zvsaver > "$work/said" 2>&1
  marked "$work/r/s.dat" && grep -q "s.dat\" may be torn" "$work/said" ||
    no "after both starts zvsaver's read said: $(cat "$work/said")" || return 1
  mkdir -p "$work/ram" && { mountpoint -q "$work/ram" || mount -t ramfs -o mode=755 ramfs "$work/ram"; } ||
    no "no ramfs can be mounted" || return 77
  cp "$work/old.ref" "$work/ram/s.dat" && chown zvsaver "$work/ram/s.dat" && chmod 666 "$work/ram/s.dat"
  (cd "$work/ram" && nobody "$zentrovex" run --headless "$work/save.kqa" > "$work/said" 2>&1)
  cmp -s "$work/ram/s.dat" "$work/old.ref" && grep -q 'other users may write it, and its file system keeps no mark' \
    "$work/said" || no "on ramfs the save said: $(cat "$work/said")"
}

# row                                   item
rows="
other_program                          1
cp_over                                1
other_state_folder                     1
other_user                             1
planted_in_tmp                         2
two_users_without_home                 2
another_device                         3
reader_of_a_stopped_saver              4
reader_when_the_saver_is_killed        4
registry_held                          5
kept_list_held                         5
save_beside_a_reader                   6
no_home                                7
state_folder_unwritable                7
writes_synced                          8
byte_under_a_writer                    8
journal_follows_its_file               9
journal_in_a_shared_folder             10
kept_names_taken                       11
later_save_matching_pages              1
killed_without_a_state_folder          7
two_saves_one_killed                   12
journal_of_a_lost_file                 13
deleted_and_written_anew               14
a_deletion_stays                       14
a_deletion_stays_beside_a_log          14
log_written_anew_killed                14
two_files_written_anew                 14
first_save_killed                      14
written_anew_beside_another_user       14
written_in_one_step_without_a_state_folder 14
killed_pack_writer                     18
state_folder_checked_first             15
kept_copies_bounded                    16
shared_file                            17
"
failed=() skipped=()
while read -r row item; do
  [ -n "$row" ] || continue
  [ -z "${RUN_ROWS:-}" ] || [[ " $RUN_ROWS " == *" $row "* ]] || continue
  rm -rf "$work"/state-* "$zv_home/.local/state/zentrovex" /tmp/.local /var/tmp/zentrovex-*
  # Each user's XDG_STATE_HOME is theirs.
  mkdir "$work/state-nobody" "$work/state-other" "$work/state-zv"
  chown 65534 "$work/state-nobody" "$work/state-other" && chown zvsaver "$work/state-zv"
  why=
  # Programs read standard input: not the table's.
  "row_$row" < /dev/null
  case $? in
    0) echo "ok   $row ($item)" ;;
    77) echo "SKIP $row ($item): $why"; skipped+=("$row") ;;
    *) echo "FAIL $row ($item): $why"; failed+=("$row") ;;
  esac
done <<< "$rows"
[ ${#failed[@]} = 0 ] || { echo "FAIL: ${failed[*]}" >&2; exit 1; }
[ ${#skipped[@]} = 0 ] || { echo "SKIP: rows that could not run here: ${skipped[*]}"; exit 77; }
echo "saves in place, journals, the state folder and the waits on other programs hold"
