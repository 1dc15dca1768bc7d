#!/usr/bin/env bash
# Peak memory and time of the commands that change a big file: write byte to
# file on a 300 MB file, write file block of it into a pack, and copy file
# of it for comparison. Each binary given is run on the same file, taking
# turns (ROUNDS, default 3); the medians are printed, with the peak resident
# memory of a run that only ends for the baseline.
#   bench/file_writes/run.sh [ZENTROVEX...]    (default: build/zentrovex)
# The file is 300 MB of random data (a real one, not sparse); TMPDIR decides
# where it goes.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
rounds="${ROUNDS:-3}"
[ -x /usr/bin/time ] || { echo "needs GNU time (apt-get install time)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 300M /dev/urandom > big.dat

declare -A programs=(
  [baseline]='end'
  [write_byte]='write byte to file "big.dat", 150000000, 65'
  [write_block]='open file to write 1, "pack.dat" : write file block 1, "big.dat" : close file 1'
  [copy]='copy file "big.dat", "copy.dat"'
)
# One run: "<peak KB> <seconds>".
measure() {
  rm -f pack.dat copy.dat
  printf '%s\r\n' "$2" > case.kqa
  /usr/bin/time -f '%M %e' -o time.txt "$1" run --headless case.kqa > /dev/null
  cat time.txt
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-40s %-12s %14s %10s\n' binary command "peak (MB)" "time (s)"
for name in baseline write_byte write_block copy; do
  declare -A peaks=() times=()
  for ((round = 0; round < rounds; ++round)); do
    for binary in "${binaries[@]}"; do
      read -r kb seconds < <(measure "$binary" "${programs[$name]}")
      peaks[$binary]+="$kb "
      times[$binary]+="$seconds "
    done
  done
  for binary in "${binaries[@]}"; do
    peak=$(tr ' ' '\n' <<< "${peaks[$binary]}" | grep . | median)
    time=$(tr ' ' '\n' <<< "${times[$binary]}" | grep . | median)
    printf '%-40s %-12s %14.1f %10.2f\n' "$binary" "$name" "$(awk -v kb="$peak" 'BEGIN { print kb / 1024 }')" "$time"
  done
  unset peaks times
done
