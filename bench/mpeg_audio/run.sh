#!/usr/bin/env bash
# Times our MPEG audio decoder and a peer (ffmpeg's floating-point layer III
# decoder, one thread) on the same 128 kbit/s stereo 44.1 kHz layer III file
# in one run, and prints both in times real time with their ratio. The
# machines are noisy: medians, and a quiet machine, give steadier figures.
#
# usage: bench/mpeg_audio/run.sh [BUILD_DIR] [FILE]
#   BUILD_DIR holds bench/mpeg_audio/bench_mpeg_audio (default: build).
#   FILE is the stream to decode; without it a two-minute test signal is
#   encoded with lame (needs ffmpeg, lame and hyperfine: apt-get install
#   ffmpeg lame hyperfine).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
file=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -z "$file" ]; then
  file=$work/bench.mp3
  # Two minutes of tones, chirps and noise bursts; lame adds its own short
  # blocks at the onsets.
  ffmpeg -v error -f lavfi -i "aevalsrc='0.3*sin(2*PI*(220+20*sin(2*PI*0.5*t))*t)+0.2*sin(2*PI*1760*t)*exp(-10*mod(t,0.25))+0.05*(random(0)*2-1)|0.3*sin(2*PI*(330+15*sin(2*PI*0.3*t))*t)+0.15*(random(1)*2-1)*exp(-20*mod(t,0.5))+0.1*sin(2*PI*(500+4000*mod(t,2))*t)':s=44100:d=120" \
    -f s16le -y "$work/bench.raw"
  lame -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 128 --quiet "$work/bench.raw" "$file" 2>/dev/null
fi
seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file")

echo "== ours (in process, median of 5 repetitions)"
ZV_MPEG_BENCH_FILE=$file "$build/bench/mpeg_audio/bench_mpeg_audio" \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null
ours=$(python3 -c "
import json
runs = json.load(open('$work/ours.json'))['benchmarks']
print(next(r['x_realtime'] for r in runs if r.get('aggregate_name') == 'median'))")

echo "== peer: ffmpeg, one thread (median of hyperfine runs, process start-up included)"
hyperfine -N --warmup 2 --runs 10 --export-json "$work/peer.json" \
  "ffmpeg -v error -threads 1 -c:a mp3float -i $file -f null -" >/dev/null
peer=$(python3 -c "
import json
r = json.load(open('$work/peer.json'))['results'][0]
print($seconds / r['median'])")
# ffmpeg's own timer around its decoding loop (-benchmark), without the
# process start-up and probing that the whole-process figure includes.
peer_decode=$(for _ in 1 2 3 4 5; do
  ffmpeg -hide_banner -benchmark -threads 1 -c:a mp3float -i "$file" -f null - 2>&1 |
    sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p'
done | python3 -c "
import statistics, sys
print($seconds / statistics.median(float(x) for x in sys.stdin))")

python3 -c "
ours, peer, peer_decode = $ours, $peer, $peer_decode
print(f'audio: {$seconds:.1f} s, 128 kbit/s stereo 44.1 kHz layer III')
print(f'ours:                        {ours:8.0f} x real time')
print(f'ffmpeg (whole process):      {peer:8.0f} x real time   ours/peer {ours / peer:.2f}')
print(f'ffmpeg (its decoding loop):  {peer_decode:8.0f} x real time   ours/peer {ours / peer_decode:.2f}')"
