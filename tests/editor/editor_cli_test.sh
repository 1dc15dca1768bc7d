#!/usr/bin/env bash
# The editor from the command line, headless: a script of keys edits a
# program, saves it, runs it (its output reaches standard output), opens the
# help and leaves a screenshot; bad flags and scripts are refused; without a
# display it says why.
set -euo pipefail
zentrovex=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"

printf 'print "one"\r\n' > prog.kqa
cat > script.txt <<'SCRIPT'
# to the end, a new line, save, run, then the help
key ctrl+end
type \nprint "two"
key ctrl+s
key f5
wait 100
key f1
SCRIPT
out=$("$zentrovex" edit --events script.txt --screenshot shot.png prog.kqa)
[ "$(cat prog.kqa)" = "$(printf 'print "one"\r\nprint "two"\r')" ] || fail "not saved: $(od -c prog.kqa | head)"
[ "$out" = "$(printf 'one\ntwo')" ] || fail "the run printed: $out"
[ "$(head -c 4 shot.png | tail -c 3)" = "PNG" ] || fail "no screenshot"

# No program: an empty editor; a frame count stops it.
"$zentrovex" edit --headless --frames 3 --screenshot empty.png || fail "the empty editor failed"
[ -s empty.png ] || fail "no screenshot of the empty editor"

# Refusals.
printf 'jump 3\n' > bad.txt
if "$zentrovex" edit --events bad.txt 2>err.txt; then fail "a bad script was played"; fi
grep -q 'line 1' err.txt || fail "no line in the error: $(cat err.txt)"
if "$zentrovex" edit a.kqa b.kqa 2>/dev/null; then fail "two files were taken"; fi

# Without a display the editor says why and fails, unless a headless frame
# was asked for.
for words in "" "edit" "edit prog.kqa"; do
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY "$zentrovex" $words > /dev/null 2> err.txt || status=$?
  [ "$status" = 3 ] || fail "'zentrovex $words' without a display ended with status $status"
  grep -q 'display' err.txt || fail "'zentrovex $words' without a display said: $(cat err.txt)"
done
env -u DISPLAY -u WAYLAND_DISPLAY "$zentrovex" edit --frames 1 > /dev/null || fail "a counted frame was refused"

# Help after a command's name prints the usage.
for verb in run build edit; do
  "$zentrovex" $verb --help > usage.txt || fail "$verb --help failed"
  grep -q '^usage: zentrovex' usage.txt || fail "$verb --help printed: $(cat usage.txt)"
done
echo "editor command line: all checks passed"
