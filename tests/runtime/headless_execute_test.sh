#!/usr/bin/env bash
# `execute file` in a run without a window: the program is started, and a
# program that cannot be started ends the run on the execute warning.
set -euo pipefail
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cat > "$work/start.kqa" <<'BASIC'
q$ = chr$(34)
execute file "/bin/sh", "-c " + q$ + "echo started > started.txt" + q$, ""
t = timer()
repeat
  wait 10
until file exists("started.txt") = 1 or timer() - t > 10000
print file exists("started.txt")
execute file "no-such-program-of-zentrovex", "", ""
print "not reached"
BASIC
set +e
out=$(cd "$work" && "$zentrovex" run --headless start.kqa 2> "$work/err.txt")
status=$?
set -e
[ "$out" = "1" ] || fail "the started program did not run: $out"
[ "$(cat "$work/started.txt")" = "started" ] || fail "unexpected output of the started program"
[ "$status" -ne 0 ] || fail "a failed start was reported as success"
grep -q "8103" "$work/err.txt" || grep -qi "warning" "$work/err.txt" || fail "no warning on stderr: $(cat "$work/err.txt")"
echo "execute file in a headless run: started, and a failure reported"
