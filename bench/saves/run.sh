#!/usr/bin/env bash
# What a save costs, now that it syncs its data before it publishes it (and
# the folder after), and keeps a journal when it rewrites a file in place:
# `save number array` of 1 KB, 1 MB and 100 MB, replacing a file and in
# place (onto a file with a second name), timed by the program itself around
# its saves alone. Each binary given runs each case in turn (ROUNDS,
# default 5); the medians of the microseconds one save takes are printed.
# Then two cases of saves beside other programs: two copies saving one
# hard-linked 1 KB file for 4 s (how many saves both made), and a program
# that saves a 1 KB file each frame under `sync rate 0` (frames a second).
# Then the numbered saves of 100 lines, timed as the first cases are: the
# pattern the help teaches (delete file, open file to write, writes, close
# file) and a new file each time.
#   bench/saves/run.sh [ZENTROVEX...]    (default: build/zentrovex)
# TMPDIR decides where the files go (the file system whose syncs are timed).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
rounds="${ROUNDS:-5}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_STATE_HOME=$work/state

# size label, array elements (4 bytes each), saves timed in one run
cases=("1KB 256 200" "1MB 262144 50" "100MB 26214400 3")
# Prints the microseconds one save took, averaged over the run's saves.
program() {
  printf 'dim a(%d)\r\nsave number array "s.dat", a(0)\r\nt = timer()\r\n' "$1"
  printf 'for n = 1 to %d : save number array "s.dat", a(0) : next n\r\n' "$2"
  printf 'print (timer() - t) * 1000 / %d\r\n' "$2"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-40s %-6s %-9s %14s\n' binary size kind "us a save"
for c in "${cases[@]}"; do
  read -r label elements count <<< "$c"
  program "$elements" "$count" > save.kqa
  for kind in replace in-place; do
    declare -A runs=()
    for ((round = 0; round < rounds; ++round)); do
      for binary in "${binaries[@]}"; do
        rm -f s.dat second.dat
        if [ "$kind" = in-place ]; then : > s.dat && ln s.dat second.dat; fi
        runs[$binary]+="$("$binary" run --headless save.kqa | tr -d ' \r') "
      done
    done
    for binary in "${binaries[@]}"; do
      printf '%-40s %-6s %-9s %14s\n' "$binary" "$label" "$kind" \
        "$(tr ' ' '\n' <<< "${runs[$binary]}" | grep . | median)"
    done
    unset runs
  done
done

# Two copies save one hard-linked file for SECONDS seconds, each printing
# its count every 100 saves and at the end; the two last counts added (a
# copy that a failed save ends counts the hundreds it made).
seconds=4
printf 'dim a(256) : t = timer() : n = 0\r\nwhile timer() - t < %d * 1000 : save number array "s.dat", a(0) : n = n + 1 : if n - (n / 100) * 100 = 0 then print n\r\nendwhile\r\nprint n\r\n' \
  $seconds > both.kqa
# Frames a second of a game saving a small file each frame, unsynced.
printf 'sync on : sync rate 0 : dim a(256) : t = timer()\r\nfor f = 1 to 300 : save number array "f.dat", a(0) : sync : next f\r\nprint 300000 / (timer() - t)\r\n' \
  > frames.kqa
last_count() { { grep -E '^ *[0-9]+ *$' "$1" || echo 0; } | tail -1 | tr -d ' \r'; }
printf '%-40s %-22s %14s\n' binary case median
for binary in "${binaries[@]}"; do
  declare -a both=() frames=()
  for ((round = 0; round < rounds; ++round)); do
    rm -f s.dat second.dat && : > s.dat && ln s.dat second.dat
    "$binary" run --headless both.kqa > one.out 2>&1 & first=$!
    "$binary" run --headless both.kqa > two.out 2>&1 || true
    wait $first || true
    both+=($(( $(last_count one.out) + $(last_count two.out) )))
    frames+=("$("$binary" run --headless frames.kqa | tr -d ' \r')")
  done
  printf '%-40s %-22s %14s\n' "$binary" "saves by two, ${seconds} s" "$(printf '%s\n' "${both[@]}" | median)"
  printf '%-40s %-22s %14s\n' "$binary" "frames a second" "$(printf '%s\n' "${frames[@]}" | median)"
done

# The numbered saves: microseconds one takes, as a median of the rounds.
numbered() {
  printf 'open file to write 1, "n0.txt" : close file 1\r\nt = timer()\r\nfor n = 1 to 200\r\n'
  if [ "$1" = anew ]; then
    printf 'delete file "n0.txt" : open file to write 1, "n0.txt"\r\n'
  else
    printf 'open file to write 1, "n" + str$(n) + ".txt"\r\n'
  fi
  printf 'for i = 1 to 100 : write file string 1, "line of a save" : next i : close file 1\r\nnext n\r\n'
  printf 'print (timer() - t) * 1000 / 200\r\n'
}
printf '%-40s %-22s %14s\n' binary case "us a save"
for kind in anew new; do
  numbered $kind > numbered.kqa
  declare -A took=()
  for ((round = 0; round < rounds; ++round)); do
    for binary in "${binaries[@]}"; do
      rm -f n*.txt
      took[$binary]+="$("$binary" run --headless numbered.kqa | tr -d ' \r') "
    done
  done
  for binary in "${binaries[@]}"; do
    printf '%-40s %-22s %14s\n' "$binary" "numbered, $kind" "$(tr ' ' '\n' <<< "${took[$binary]}" | grep . | median)"
  done
  unset took
done
