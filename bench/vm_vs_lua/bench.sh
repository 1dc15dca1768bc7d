#!/usr/bin/env bash
# Times each BASIC program against the same program in Lua 5.4, side by side
# in one hyperfine run, and prints the medians and the ratio BASIC / Lua.
#   bench/vm_vs_lua/bench.sh [BUILD_DIR]    (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
runner=$build/bench/vm_vs_lua/kqa_run
[ -x "$runner" ] || { echo "build kqa_run first: cmake --build $build --target kqa_run" >&2; exit 1; }
command -v hyperfine >/dev/null && command -v lua5.4 >/dev/null ||
  { echo "needs hyperfine and lua5.4 (apt-get install hyperfine lua5.4)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-12s %12s %12s %8s\n' program "basic (ms)" "lua (ms)" ratio
for kqa in "$here"/programs/*.kqa; do
  name=$(basename "$kqa" .kqa)
  echo "$name: $("$runner" "$kqa") | lua: $(lua5.4 "$here/programs/$name.lua")" >&2
  hyperfine --warmup 1 --runs "${RUNS:-5}" --style none --export-json "$work/$name.json" \
    -n basic "$runner $kqa" -n lua "lua5.4 $here/programs/$name.lua" >/dev/null
  python3 - "$work/$name.json" "$name" <<'PY'
import json, sys
results = {r["command"]: r["median"] * 1000 for r in json.load(open(sys.argv[1]))["results"]}
b, l = results["basic"], results["lua"]
print(f"{sys.argv[2]:<12} {b:12.1f} {l:12.1f} {b / l:8.2f}")
PY
done
