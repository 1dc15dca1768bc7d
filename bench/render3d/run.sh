#!/usr/bin/env bash
# Builds and runs the 3D device benchmark beside Mesa's software rasteriser.
# Installs Mesa's off-screen library (libosmesa6-dev, and mesa-utils for
# glxinfo) when missing: only this benchmark needs them. Mesa runs on one
# thread (LP_NUM_THREADS=0), as the device does; a second run of Mesa alone
# with its threads gives its all-core figure for reference.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-bench}"

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
cmake --build "$build" --target bench_render3d
bench="$build/bench/render3d/bench_render3d"

echo "== one core (Mesa: LP_NUM_THREADS=0) =="
LP_NUM_THREADS=0 "$bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
echo "== Mesa with all its threads ($(nproc) cores), for reference =="
"$bench" --benchmark_filter=Mesa --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
