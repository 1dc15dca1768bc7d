#!/usr/bin/env bash
# What a join costs beside a flood of connection requests at the host's
# port: for each build given, a host program runs; each flood of
# tests/net_faults/netpoke.py (none; forged cookies; genuine cookies with
# handshakes left half-open, finished, or finished and kept up; each from 200
# ports of the players' own address and from 200 other addresses, as fast
# as one process sends) goes on while a joiner program joins ROUNDS times
# (default 5), one after the other. Printed per row and build: the median
# join (`join net game`, timed by the joiner itself), the joins that failed,
# the joiner's processor time a run (start-up included, the same in every
# row), and the host's share of a processor while the row ran.
#   bench/netsession/join_beside_flood.sh [ZENTROVEX...]   (default: build/zentrovex)
# Runs in a private network namespace of its own (unshare -n, as root).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
if [ -z "${ZV_BENCH_NETNS:-}" ]; then
  exec env ZV_BENCH_NETNS=1 unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$0" "$@"
fi
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
rounds="${ROUNDS:-5}"
poke="$root/tests/net_faults/netpoke.py"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

printf '%s\r\n' 'create net game "Bench", "host", 250' 'open file to write 1, "hosting.txt" : close file 1' \
  'repeat' '  sync' '  repeat : get net message : until net message exists() = 0' 'until file exists("stop.txt") = 1' \
  'free net game' > host.kqa
printf '%s\r\n' 't = timer()' 'join net game 1, "j"' 'print timer() - t' 'free net game' > join.kqa
rows=("none" "forged 127.0.0.1" "half-open 127.0.0.1" "finished 127.0.0.1" "kept 127.0.0.1"
  "forged 127.0.1.1-200" "half-open 127.0.1.1-200" "finished 127.0.1.1-200" "kept 127.0.1.1-200")
median() { sort -n | awk '{ v[NR] = $1 } END { print NR ? v[int((NR + 1) / 2)] : "-" }'; }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

printf '%-28s %-34s %8s %6s %12s %9s\n' flood binary "join ms" failed "joiner cpu" "host cpu"
for row in "${rows[@]}"; do
  read -r mode source <<< "$row"
  for binary in "${binaries[@]}"; do
    rm -f hosting.txt stop.txt flooding
    "$binary" run --headless host.kqa > host.log 2>&1 &
    hp=$!
    for _ in $(seq 200); do [ -e hosting.txt ] && break; sleep 0.05; done
    fp=
    if [ "$mode" != none ]; then
      python3 "$poke" connect "$mode" 600 0 "$source" 200 30620 > flood.txt &
      fp=$!
      for _ in $(seq 200); do [ -e flooding ] && break; sleep 0.05; done
      sleep 0.5
    fi
    joins=() failed=0 cpu=()
    start_ticks=$(ticks "$hp") start=$(date +%s%N)
    for ((round = 0; round < rounds; ++round)); do
      TIMEFORMAT='%U %S'
      { time "$binary" run --headless join.kqa > join.out 2>&1; } 2> cpu.txt || true
      ms=$(tr -d ' \r' < join.out | head -1)
      if [[ "$ms" =~ ^[0-9]+$ ]]; then joins+=("$ms"); else failed=$((failed + 1)); fi
      cpu+=("$(awk '{ printf "%d", ($1 + $2) * 1000 }' cpu.txt)")
    done
    host_pct=$(awk -v t="$(( $(ticks "$hp") - start_ticks ))" -v ns="$(( $(date +%s%N) - start ))" \
      -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.0f%%", t / hz / (ns / 1e9) * 100 }')
    [ -n "$fp" ] && kill "$fp" 2>/dev/null && wait "$fp" 2>/dev/null || true
    touch stop.txt
    wait "$hp" 2>/dev/null || true
    label=$binary
    [ ${#label} -gt 34 ] && label=...${label: -31}
    printf '%-28s %-34s %8s %6s %9s ms %9s\n' "$mode ${source:-}" "$label" \
      "$(printf '%s\n' "${joins[@]}" | median)" "$failed" "$(printf '%s\n' "${cpu[@]}" | median)" "$host_pct"
  done
done
