#!/usr/bin/env bash
# Saves of names a built game carries: N string arrays, each a name the game
# carries and saves for the first time (so each is listed as the game's
# own), against the same program run from source over the same files on
# disk, and run from source where the files are new (a name not on disk is
# looked for in its folder without regard to case, as the built game's
# names are). N is 1,000 and 4,000. Each binary given builds its own game; hyperfine
# runs them side by side, each run in a folder reset to hold the game alone.
#   bench/kept_saves/run.sh [ZENTROVEX...]    (default: build/zentrovex)
# RUNS (default 5) sets hyperfine's runs; TMPDIR decides where the folders go.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
runs="${RUNS:-5}"
command -v hyperfine > /dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for count in 1000 4000; do
  project=$work/project$count
  mkdir -p "$project"
  for i in $(seq 1 "$count"); do printf '\r\ncarried\r\n' > "$project/s$i.dat"; done
  printf 'dim a$(1) : a$(1) = "saved"\r\nfor i = 1 to %d : save string array "s" + str$(i) + ".dat", a$(0) : next i\r\n' \
    "$count" > "$project/saves.kqa"
  commands=()
  names=()
  for index in "${!binaries[@]}"; do
    binary=$(readlink -f "${binaries[$index]}")
    game=$work/game$index-$count
    mkdir -p "$game"
    "$binary" build "$project/saves.kqa" -o "$game.exe" > /dev/null
    source=$work/source$index-$count
    cp -r "$project" "$source"
    # Each run starts from the game alone, and from the files as they were.
    commands+=(--prepare "rm -rf '$game' && mkdir '$game' && cp '$game.exe' '$game/saves'"
      "cd '$game' && ZENTROVEX_HEADLESS=1 ./saves")
    names+=(-n "built game, $count saves ($binary)")
    commands+=(--prepare "cp '$project'/s*.dat '$source/'" "cd '$source' && '$binary' run --headless saves.kqa")
    names+=(-n "zentrovex run, $count saves ($binary)")
    commands+=(--prepare "rm -f '$source'/s*.dat" "cd '$source' && '$binary' run --headless saves.kqa")
    names+=(-n "zentrovex run, $count saves of new files ($binary)")
  done
  # hyperfine takes the n-th --prepare and the n-th name for the n-th command.
  hyperfine --runs "$runs" --style basic "${names[@]}" "${commands[@]}"
done
