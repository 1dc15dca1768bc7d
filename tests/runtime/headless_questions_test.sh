#!/usr/bin/env bash
# A headless run has no keyboard. A program there that reaches `input` or
# `wait key` with nothing to answer it (no frame limit) says so once on
# standard error, with the line, and waits until it is stopped; with
# --frames the run ends by itself and says nothing of it.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/naps.sh"
zentrovex=$1
work=$(mktemp -d)
runner=
cleanup() {
  [ -z "$runner" ] || kill -KILL "$runner" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"

said() { grep -c "nothing can answer" err.txt || true; }
for question in 'input a$' 'wait key'; do
  printf 'print "asking"\r\n%s\r\nprint "answered"\r\n' "$question" > ask.kqa
  "$zentrovex" run --headless ask.kqa > out.txt 2> err.txt &
  runner=$!
  for _ in $(seq 1200); do
    [ "$(said)" = 0 ] || break
    sleep 0.05
  done
  [ "$(said)" = 1 ] || fail "$question: nothing was said: $(cat err.txt)"
  sleep 0.5  # many more turns of waiting: still said once
  kill -TERM "$runner"
  status=0
  wait "$runner" || status=$?
  runner=
  [ "$status" = 143 ] || fail "$question: the run ended on SIGTERM with status $status"
  [ "$(said)" = 1 ] || fail "$question: said $(said) times: $(cat err.txt)"
  grep -q "(line 2: ${question% a\$})" err.txt || fail "$question: the line is not named: $(cat err.txt)"
  [ "$(cat out.txt)" = asking ] || fail "$question: the run printed $(cat out.txt)"

  "$zentrovex" run --headless --frames 5 ask.kqa > out.txt 2> err.txt || fail "$question: the counted run failed"
  [ "$(said)" = 0 ] || fail "$question: a counted run said: $(cat err.txt)"
done
echo "headless questions: said once that nothing can answer them, silent with a frame limit"
