#!/usr/bin/env bash
# A run killed outright (SIGKILL, as the out-of-memory killer ends one)
# cannot clean up: the next run, or built game, removes the temporary folder
# it left, while a run still going keeps its own. A build stopped by a signal
# ends at once with the signal's status, leaves no partial game and keeps
# the game it was to replace.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/naps.sh"
zentrovex=$1
work=$(mktemp -d)
alive= pid=
trap 'for p in $alive $pid; do kill -KILL "$p" 2> /dev/null || true; done; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
cd "$work"

printf 'do\r\nsync\r\nloop\r\n' > loop.kqa
printf 'print "ran"\r\n' > once.kqa
"$zentrovex" build once.kqa -o once_game > /dev/null

# Starts loop.kqa headless; `pid` is the run, `folder` the temporary folder
# it made. A start takes a moment, a loaded machine's many times that: only
# a hang reaches the limit.
start_loop() {
  local before deadline=$((SECONDS + 120))
  before=$(ls "$TMPDIR")
  "$zentrovex" run --headless loop.kqa & pid=$!
  while [ $SECONDS -lt $deadline ]; do
    folder=$(ls "$TMPDIR" | grep -vxF -e "$before" || true)
    # Marked (its mode) once the run holds the folder's lock.
    [ -n "$folder" ] && [ "$(stat -c %a "$TMPDIR/$folder")" = 1700 ] && return
    sleep 0.02
  done
  fail "the run made no temporary folder"
}

start_loop
alive=$pid kept=$folder pid=
for next in "game:./once_game" "run:$zentrovex run --headless once.kqa"; do
  start_loop
  kill -KILL "$pid"
  wait "$pid" 2> /dev/null || true
  pid=
  [ -d "$TMPDIR/$folder" ] || fail "the killed run left no folder to clean up"
  out=$(ZENTROVEX_HEADLESS=1 ${next#*:})
  [ "$out" = ran ] || fail "the ${next%%:*} printed: $out"
  [ ! -e "$TMPDIR/$folder" ] || fail "the ${next%%:*} left the killed run's folder"
  [ -d "$TMPDIR/$kept" ] || fail "the ${next%%:*} removed the folder of a run still going"
done
kill -TERM "$alive"
status=0
wait "$alive" || status=$?
[ "$status" = 143 ] || fail "the run still going ended with status $status"
alive=
[ -z "$(ls -A "$TMPDIR")" ] || fail "left behind: $(ls "$TMPDIR")"

# A build stopped mid-way. The media file is sparse: it costs no disk, and
# the build would take seconds to copy it.
mkdir -p project/media
printf 'print "earlier"\r\n' > project/game.kqa
"$zentrovex" build project/game.kqa -o game > /dev/null
cp game earlier_game
truncate -s 1G project/media/big.dat
stub_size=$(stat -c %s "$zentrovex")
"$zentrovex" build project/game.kqa -o game > build.txt 2> build_err.txt & pid=$!
# Any file here that was not before the build is a partial game left behind.
before_build=$(ls -A; echo build.txt; echo build_err.txt)
partial_game() {
  ls -A | grep -vxF -e "$before_build" | head -n 1 || true
}
# The game being written waits in a temporary that may have no name at all,
# so it is found among the build's open files (`game_fd`).
writing() {
  local fd
  for fd in /proc/"$pid"/fd/*; do
    case "$(readlink "$fd" 2> /dev/null)" in
      "$PWD"/\#* | "$PWD"/.zv-save-*)
        if [ "$(stat -L -c %s "$fd" 2> /dev/null || echo 0)" -gt "$stub_size" ]; then
          game_fd=$fd
          return 0
        fi ;;
    esac
  done
  return 1
}
deadline=$((SECONDS + 120))
until writing; do
  kill -0 "$pid" 2> /dev/null && [ $SECONDS -lt $deadline ] || break
  sleep 0.01
done
# Held still while the signal is sent, so the build is surely mid-way.
kill -STOP "$pid"
until [[ "$(awk '{ print $3 }' "/proc/$pid/stat")" == [TZ] ]]; do sleep 0.01; done
writing || fail "the build was not seen writing its media"
# The game being written, held open: it can be measured after the build
# has ended, whatever became of its name.
exec 9< "$game_fd"
written() { stat -L -c %s "/proc/$$/fd/9"; }
at_signal=$(written)
kill -TERM "$pid"
start=$(date +%s%N)
kill -CONT "$pid"
status=0
wait "$pid" || status=$?
pid=
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[ "$status" = 143 ] || fail "the stopped build ended with status $status: $(cat build_err.txt)"
# It stops within the block of 64 KiB it was writing (and the few bytes
# buffered before it), where the whole gigabyte would follow.
after_signal=$(($(written) - at_signal))
exec 9<&-
echo "the stopped build wrote $after_signal bytes after SIGTERM (bound 131072), in $elapsed_ms ms"
[ "$after_signal" -le 131072 ] || fail "the build wrote $after_signal bytes after SIGTERM"
[ -z "$(partial_game)" ] || fail "the stopped build left a partial game: $(partial_game)"
cmp -s game earlier_game || fail "the stopped build changed the earlier game"
[ -z "$(ls -A "$TMPDIR")" ] || fail "the stopped build left $(ls "$TMPDIR")"
[ "$(ZENTROVEX_HEADLESS=1 ./game)" = earlier ] || fail "the earlier game no longer runs"
echo "killed runs: folders of ended runs removed, live ones kept; a stopped build stopped within a block"
