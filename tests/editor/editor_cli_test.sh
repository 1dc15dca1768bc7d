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
# What the editor keeps and offers is this test's own.
export XDG_STATE_HOME=$work/state

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

# A program saved in UTF-8 with the mark: the mark never shows, so a line
# typed above the first stays behind it; the file is saved in UTF-8 again
# and the program reads its text in its own character set (which its
# output turns into UTF-8 again).
printf '\xef\xbb\xbfprint "caf\xc3\xa9"\r\n' > marked.kqa
printf '%s\n' 'key ctrl+home' 'type print len("été")\n' 'key ctrl+s' 'key f5' 'wait 100' > marked.txt
out=$("$zentrovex" edit --events marked.txt marked.kqa)
[ "$(od -An -tx1 marked.kqa | tr -d ' \n')" = "$(printf '\xef\xbb\xbfprint len("\xc3\xa9t\xc3\xa9")\r\nprint "caf\xc3\xa9"\r\n' | od -An -tx1 | tr -d ' \n')" ] ||
  fail "the marked file was saved as: $(od -c marked.kqa | head)"
[ "$out" = "$(printf '3\ncaf\xc3\xa9')" ] || fail "the marked program printed: $(printf '%s' "$out" | od -c | head)"

# Keys pressed by a script are held as a person holds them: a program that
# looks at inkey$() once a frame sees each of them, and input takes Enter.
{
  printf '%s\r\n' 'input a$' 't = timer()' 'repeat' 'k$ = inkey$()' 'if k$ <> l$ and k$ <> "" then s$ = s$ + k$' \
    'l$ = k$' 'until k$ = "q" or timer() - t > 5000' 'print a$ + " " + s$'
} > keys.kqa
printf '%s\n' 'key f5' 'wait 200' 'key h' 'key i' 'key enter' 'key a' 'key b' 'key c' 'key q' > keys.txt
out=$(timeout -s KILL 60 "$zentrovex" edit --events keys.txt keys.kqa) || fail "the keys session did not end: $out"
[ "$out" = "$(printf 'hi\nhi abcq')" ] || fail "the keys typed reached the program as: $out"

# Two answers typed in one line each reach their own question, the second
# asked with a prompt, and the session ends; typed UTF-8 text reaches the
# program in its own character set, one character for each letter.
{
  printf '%s\r\n' 'input a$' 'input "second? ", b$' 'print a$' 'print b$' 't = timer()' \
    'repeat : sync : e$ = entry$() : until len(e$) >= 12 or timer() - t > 3000' \
    'print len(e$); " "; left$(right$(e$, 4), 3); " "; asc(right$(e$, 1))'
} > answers.kqa
printf '%s\n' 'key f5' 'wait 200' 'type one\ntwo\n' 'type café' > answers.txt
out=$(timeout -s KILL 60 "$zentrovex" edit --events answers.txt answers.kqa) || fail "the answers session did not end: $out"
[ "$out" = "$(printf 'one\nsecond? two\none\ntwo\n12 caf 233')" ] || fail "the answers reached the program as: $out"

# A program left waiting for a key once the script is played out waits
# idly (until it is stopped), not at the cost of a whole processor. It is
# watched from when it says it waits, however long a loaded machine takes
# to start it, beside a loop that spins meanwhile, both ahead of the
# machine's other work where the test may do so: a loaded machine would
# give a spinning editor no more than the little an idle one uses.
printf 'print "waiting"\r\ninput a$\r\n' > wait.kqa
printf 'key f5\n' > wait.txt
ahead=(nice -n -10)
"${ahead[@]}" true 2> /dev/null || ahead=()
"${ahead[@]}" "$zentrovex" edit --events wait.txt wait.kqa > wait_out.txt &
editor=$!
for _ in $(seq 1200); do
  grep -q waiting wait_out.txt && break
  kill -0 $editor 2> /dev/null || fail "the waiting editor ended: $(cat wait_out.txt)"
  sleep 0.05
done
grep -q waiting wait_out.txt || fail "the program never said it waits"
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
"${ahead[@]}" sh -c 'while :; do :; done' &
spinner=$!
before=$(cpu_ticks $editor) spun_before=$(cpu_ticks $spinner)
sleep 2
used=$(($(cpu_ticks $editor) - before)) spun=$(($(cpu_ticks $spinner) - spun_before))
kill $spinner
kill -TERM $editor
status=0
wait $editor || status=$?
echo "waiting for a key took $used ticks of processor time, a spinning loop $spun (at most half of that)"
[ $((used * 2)) -lt "$spun" ] || fail "waiting for a key took $used ticks of processor time, a spinning loop $spun"
[ "$status" = 143 ] || fail "the waiting editor ended on SIGTERM with status $status"

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
