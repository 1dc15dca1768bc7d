#!/usr/bin/env bash
# TRACEMODE=1 in SETUP.INI beside the program: the compile writes KQ.KQA,
# the numbered listing of the expanded source, in the program's folder.
set -euo pipefail
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

printf 'print "traced"\r\na = 1\r\n\r\nprint a\r\n' > "$work/traced.kqa"
"$zentrovex" run --headless "$work/traced.kqa" > /dev/null
[ ! -e "$work/KQ.KQA" ] || fail "a listing was written without trace mode"

printf '[SETTINGS]\r\nTRACEMODE=1\r\n' > "$work/SETUP.INI"
out=$("$zentrovex" run --headless "$work/traced.kqa")
[ "$out" = $'traced\n1' ] || fail "the traced program printed: $out"
[ -f "$work/KQ.KQA" ] || fail "no listing was written"
expected=$(printf 'Debug Output Script\n\n     1 : print "traced"\r\n     2 : a = 1\r\n     3 : \r\n     4 : print a\r\n')
actual=$(head -c "${#expected}" "$work/KQ.KQA")
[ "$actual" = "$expected" ] || fail "the listing begins: $(head -c 200 "$work/KQ.KQA" | od -c | head -20)"
echo "trace mode: listing written"
