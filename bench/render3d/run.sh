#!/usr/bin/env bash
# Builds and runs the 3D benchmarks beside Mesa's software rasteriser.
#   bench/render3d/run.sh [BUILD_DIR]    (default: build-bench)
# Installs Mesa's off-screen library (libosmesa6-dev, and mesa-utils for
# glxinfo) when missing: only these benchmarks need them. Mesa runs on one
# thread (LP_NUM_THREADS=0), as the device does.
#
# 1. The device alone on 10,000 scattered triangles, and Mesa on the same.
# 2. The BASIC program textured_sphere.kqa (a 100 x 50-segment sphere,
#    10,000 triangles, a 256 x 256 texture, bilinear, lit, 640x480x32) run by
#    zentrovex headless, and llvmpipe drawing the same scene, both pinned to
#    one core, taking turns (ROUNDS, default 3): the medians and their ratio.
# A last run of Mesa with all its threads gives its all-core figure.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath -m "${1:-$root/build-bench}")"
rounds="${ROUNDS:-3}"
frames="${FRAMES:-600}"

missing=()
for p in libosmesa6-dev mesa-utils; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq || true
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZV_BENCH=ON > /dev/null
cmake --build "$build" --target bench_render3d zentrovex
bench="$build/bench/render3d/bench_render3d"
zentrovex="$build/zentrovex"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The core both sides are pinned to: the last one this process may use.
core="$(taskset -pc $$ | sed 's/.*: //; s/.*[,-]//')"

echo "== device and Mesa, 10,000 scattered triangles, one core (Mesa: LP_NUM_THREADS=0) =="
LP_NUM_THREADS=0 taskset -c "$core" "$bench" --benchmark_filter='SoftwareDevice|MesaOSMesa' \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

echo "== the BASIC textured sphere and llvmpipe, core $core, $rounds rounds of turns =="
for ((i = 1; i <= rounds; i++)); do
  (cd "$work" && taskset -c "$core" "$zentrovex" run --headless "$root/bench/render3d/textured_sphere.kqa" "$frames") |
    tee -a "$work/basic.txt"
  LP_NUM_THREADS=0 taskset -c "$core" "$bench" --benchmark_filter='DeviceTexturedSphere|MesaTexturedSphere' \
    --benchmark_format=json --benchmark_out="$work/round$i.json" --benchmark_out_format=json > /dev/null
done
python3 - "$work" "$rounds" <<'PY'
import json, re, statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
basic = [float(m.group(1)) for m in re.finditer(r"fps\s+([0-9.]+)", open(f"{work}/basic.txt").read())]
runs = {}
for i in range(1, rounds + 1):
    for b in json.load(open(f"{work}/round{i}.json"))["benchmarks"]:
        runs.setdefault(b["name"].split("/")[0], []).append(b["fps"])
device = statistics.median(runs.get("BM_DeviceTexturedSphere", [0]))
mesa = statistics.median(runs.get("BM_MesaTexturedSphere", [0]))
ours = statistics.median(basic) if basic else 0
print(f"BASIC scene (zentrovex, headless): {ours:8.1f} fps  (rounds: {', '.join(f'{v:.1f}' for v in basic)})")
print(f"device alone, same scene:          {device:8.1f} fps")
print(f"llvmpipe, one thread:              {mesa:8.1f} fps")
if mesa:
    print(f"BASIC / llvmpipe: {ours / mesa:.2f}")
PY

echo "== Mesa with all its threads ($(nproc) cores), for reference =="
"$bench" --benchmark_filter=Mesa --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
