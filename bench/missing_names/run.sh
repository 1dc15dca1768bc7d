#!/usr/bin/env bash
# What a name that is not there costs: 200 `file exists` of accented names
# that no file has, in a folder of 50,000 files, and the same with names in
# plain ASCII. Each look for a missing name reads the folder; a name that
# builds before the UTF-8 names spelled otherwise (any name with a letter
# above 127) is looked for in both spellings, in one reading of the folder.
# hyperfine runs the binaries given side by side.
#   bench/missing_names/run.sh [ZENTROVEX...]    (default: build/zentrovex)
# RUNS (default 5) sets hyperfine's runs; FILES (default 50000) the folder's
# size; TMPDIR decides where the folder goes.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
runs="${RUNS:-5}"
files="${FILES:-50000}"
command -v hyperfine > /dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

folder=$work/folder
mkdir "$folder"
(cd "$folder" && seq -f "file%.0f.dat" 1 "$files" | xargs touch)
# Sources in UTF-8, as a Linux editor writes them.
printf 'for i = 1 to 200 : r = r + file exists("absent_\xc3\xa9" + str$(i) + ".txt") : next i : print r\r\n' > "$work/accented.kqa"
printf 'for i = 1 to 200 : r = r + file exists("absent_e" + str$(i) + ".txt") : next i : print r\r\n' > "$work/plain.kqa"
commands=()
names=()
for binary in "${binaries[@]}"; do
  binary=$(readlink -f "$binary")
  for kind in accented plain; do
    commands+=("cd '$folder' && '$binary' run --headless '$work/$kind.kqa'")
    names+=(-n "$kind names, $files files ($binary)")
  done
done
hyperfine --runs "$runs" --style basic "${names[@]}" "${commands[@]}"
