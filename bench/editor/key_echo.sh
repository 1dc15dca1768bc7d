#!/usr/bin/env bash
# The echo of a key typed into a 100,000-line program (8.7 MB) in the
# editor's real window, while its changes are kept as the user types (a
# keep falls due 2 s after a change), for each binary given, side by side in
# one run on a virtual X server of its own: the median, 95th percentile and
# worst echo, the keys that took 150 ms or more, and the processor time a
# key cost the editor (bench/editor/key_echo_probe.cc). Keeping off is
# timed in the process by bench_editor (BM_KeyEchoIn100000Lines).
#   bench/editor/key_echo.sh [ZENTROVEX...]    (default: build/zentrovex)
# KEYS (default 200) sets the keys a round types, ROUNDS (default 2) the
# rounds of each binary, taken in turn.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
probe=$root/build/bench/editor/key_echo_probe
if [ "${1:-}" != --inside ]; then
  for tool in Xvfb xdotool; do
    command -v $tool > /dev/null || { echo "needs $tool (apt-get install xvfb xdotool)" >&2; exit 1; }
  done
  [ -x "$probe" ] || { echo "build it first: cmake --build build --target key_echo_probe" >&2; exit 1; }
  exec "$root/tests/support/with_xvfb.sh" "$0" --inside "$@"
fi
shift
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
keys=${KEYS:-200}
rounds=${ROUNDS:-2}
work=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -KILL $pid 2> /dev/null; rm -rf "$work"' EXIT

# Everyday lines of 87 bytes on average: comments, loops, prints, blocks.
awk 'BEGIN {
  for (i = 0; i < 100000; i++) {
    m = i % 5
    if (m == 0) printf "rem section %d of the program, where the player and all the enemies are moved on\r\n", i
    else if (m == 1) printf "for enemy = 1 to %d : position object enemy, x#(enemy), y#(enemy), z#(enemy) : show\r\n", i
    else if (m == 2) printf "\tprint \"score \" + str$(score) + \" of line %d\" : x# = x# + 0.5 : y# = y# - 0.25 : z# = 1\r\n", i
    else if (m == 3) printf "next enemy : if score > %d then gosub bonus_round : sync : rem the frame ends here\r\n", i
    else printf "if lives < 1 then text 100, 100, \"game over at %d\" : wait key : cls : end : endif\r\n", i
  }
}' > "$work/big.kqa"
echo "program: $(wc -l < "$work/big.kqa") lines, $(stat -c %s "$work/big.kqa") bytes; $keys keys a round"

for round in $(seq 1 "$rounds"); do
  for binary in "${binaries[@]}"; do
    run=$work/run
    rm -rf "$run" && mkdir -p "$run/state" "$run/config" "$run/tmp"
    cp "$work/big.kqa" "$run/"
    XDG_STATE_HOME=$run/state XDG_CONFIG_HOME=$run/config TMPDIR=$run/tmp "$binary" edit "$run/big.kqa" \
      > /dev/null 2>&1 &
    pid=$!
    window=$(xdotool search --sync --onlyvisible --pid $pid | head -n 1)
    xdotool windowfocus --sync "$window" 2> /dev/null || true
    printf '%s (round %d): ' "$binary" "$round"
    "$probe" "$window" $pid "$keys"
    kill -KILL $pid
    wait $pid 2> /dev/null || true
    pid=
  done
done
