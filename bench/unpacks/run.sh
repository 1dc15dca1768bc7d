#!/usr/bin/env bash
# What unpacking a directory pack costs: `read dir block` of a pack of FILES
# small files in one folder (default 2000, then 16000) into a folder that is
# not there yet. Each file made should cost about the same however many the
# pack holds (one reading of each folder for the whole pack, one sync of
# each file's data, one of each folder at the end). hyperfine runs the
# binaries given side by side.
#   bench/unpacks/run.sh [ZENTROVEX...]    (default: build/zentrovex)
# RUNS (default 3) sets hyperfine's runs; TMPDIR decides where the files
# go (the file system whose syncs are timed).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
for i in "${!binaries[@]}"; do binaries[$i]=$(readlink -f "${binaries[$i]}"); done
runs="${RUNS:-3}"
counts=(${FILES:-2000 16000})
command -v hyperfine > /dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

printf 'open file to write 1, "pack.dat" : write dir block 1, "src" : close file 1\r\n' > pack.kqa
printf 'open file to read 1, "pack.dat" : read dir block 1, "dst"\r\n' > unpack.kqa
for count in "${counts[@]}"; do
  rm -rf src pack.dat && mkdir src
  (cd src && seq -f "file%.0f.dat" 1 "$count" | xargs -n 1000 sh -c 'for f; do echo "$f" > "$f"; done' _)
  "${binaries[0]}" run --headless pack.kqa
  commands=()
  names=()
  for binary in "${binaries[@]}"; do
    commands+=("'$binary' run --headless unpack.kqa")
    names+=(-n "$count files ($binary)")
  done
  hyperfine --runs "$runs" --style basic --prepare "rm -rf '$work/dst'" "${names[@]}" "${commands[@]}"
done
