#!/usr/bin/env bash
# Start-up of the executable beside a peer build (the build before a change)
# in one run: for a headless program that only ends, one that shows a
# video's first frame and one that plays a MIDI song's first note, the
# shared libraries each run maps, and its wall and processor time (hyperfine,
# process start and end included). The machines are noisy: medians of wall
# time, means of processor time (user + system), and a quiet machine give
# steadier figures.
#
# usage: bench/startup/run.sh PEER [BUILD_DIR] [RUNS]
#   PEER       the other zentrovex executable
#   BUILD_DIR  holds ours (default: build)
#   RUNS       runs of each command (default: 30)
# Needs hyperfine (apt-get install hyperfine) and python3.
set -euo pipefail
cd "$(dirname "$0")/../.."
peer=$(realpath "$1")
ours=$(realpath "${2:-build}/zentrovex")
runs=${3:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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

printf '%-8s %-6s %10s %12s %16s\n' program build libraries "wall (ms)" "processor (ms)"
for program in end video midi; do
  hyperfine -N --warmup 3 --runs "$runs" --export-json "$work/$program.json" \
    "$peer run --headless $program.kqa" "$ours run --headless $program.kqa" >/dev/null
  python3 - "$work/$program.json" "$program" "$(libraries "$peer" $program.kqa)" "$(libraries "$ours" $program.kqa)" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))['results']
for name, r, count in zip(('peer', 'ours'), results, sys.argv[3:5]):
    cpu = (r['user'] + r['system']) * 1000
    print(f"{sys.argv[2]:<8} {name:<6} {count:>10} {r['median'] * 1000:>12.1f} {cpu:>16.1f}")
PY
done
