#!/usr/bin/env bash
# Start-up of the executable beside peer builds (the builds before a change)
# in one run: for a headless program that only ends, one that shows a
# video's first frame and one that plays a MIDI song's first note, the
# shared libraries each run maps, and its wall and processor time (hyperfine,
# process start and end included). Then, where every build has its tests
# built, the wall time of a test row that starts the executable some hundred
# times (FileNames.EveryCommandThatNamesAFileFindsAndMakesItInUtf8). The
# machines are noisy: medians of wall time, means of processor time (user +
# system), and a quiet machine give steadier figures.
#
# usage: bench/startup/run.sh PEER[,PEER...] [BUILD_DIR] [RUNS]
#   PEER       another zentrovex executable (BUILD/zentrovex); several are
#              separated by commas
#   BUILD_DIR  holds ours (default: build)
#   RUNS       runs of each command (default: 30; the test row runs a tenth
#              as often, at least 3 times)
# Each build is named by the folder that holds its build folder.
# Needs hyperfine (apt-get install hyperfine) and python3.
set -euo pipefail
cd "$(dirname "$0")/../.."
builds=()
IFS=, read -ra peers <<< "$1"
for peer in "${peers[@]}"; do builds+=("$(realpath "$peer")"); done
builds+=("$(realpath "${2:-build}/zentrovex")")
runs=${3:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

name() { basename "$(dirname "$(dirname "$1")")"; }

cp tests/platform/video/clips/with_sound.avi "$work/clip.avi"
# One note of a quarter's length: a header and one track.
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\14\0\220\74\100\140\200\74\100\0\377\57\0' > "$work/beat.mid"
printf 'end\n' > "$work/end.kqa"
printf 'load animation "clip.avi", 1\nplay animation 1\nsync\nend\n' > "$work/video.kqa"
printf 'load music "beat.mid", 1\nplay music 1\nsync\nend\n' > "$work/midi.kqa"
cd "$work"

# Every shared object the run loads, at start or later, the program's own
# executable and the kernel's vDSO left out.
libraries() { LD_DEBUG=files "$1" run --headless "$2" 2>&1 >/dev/null | grep -c "calling init:"; }

# Prints a row per build of hyperfine's results in $1, named $2, with the
# libraries counted for each build after it.
report() {
  python3 - "$@" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))['results']
names = sys.argv[3].split(',')
counts = sys.argv[4:]
for name, r, count in zip(names, results, counts):
    cpu = (r['user'] + r['system']) * 1000
    print(f"{sys.argv[2]:<8} {name:<14} {count:>10} {r['median'] * 1000:>12.1f} {cpu:>16.1f}")
PY
}

names=$(for b in "${builds[@]}"; do name "$b"; done | paste -sd,)
printf '%-8s %-14s %10s %12s %16s\n' program build libraries "wall (ms)" "processor (ms)"
for program in end video midi; do
  commands=()
  counts=()
  for b in "${builds[@]}"; do
    commands+=("$b run --headless $program.kqa")
    counts+=("$(libraries "$b" $program.kqa)")
  done
  hyperfine -N --warmup 3 --runs "$runs" --export-json "$work/$program.json" "${commands[@]}" >/dev/null
  report "$work/$program.json" "$program" "$names" "${counts[@]}"
done

# The row runs the executable of its own build folder.
row=FileNames.EveryCommandThatNamesAFileFindsAndMakesItInUtf8
suites=()
row_names=()
for b in "${builds[@]}"; do
  suite="$(dirname "$b")/tests/app/zv_file_names_tests"
  if [ -x "$suite" ]; then
    suites+=("$suite --gtest_filter=$row")
    row_names+=("$(name "$b")")
  else
    echo "no test row for $(name "$b"): cmake --build $(dirname "$b") --target zv_file_names_tests"
  fi
done
[ ${#suites[@]} -gt 0 ] || exit 0
row_runs=$(( runs / 10 > 3 ? runs / 10 : 3 ))
hyperfine -N --runs "$row_runs" --export-json "$work/row.json" "${suites[@]}" >/dev/null
echo
echo "$row, $row_runs runs:"
report "$work/row.json" "row" "$(IFS=,; echo "${row_names[*]}")" $(for _ in "${suites[@]}"; do echo -; done)
