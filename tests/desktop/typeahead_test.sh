#!/usr/bin/env bash
# A player who types ahead loses nothing: answers typed at 100, 60, 40, 20 and
# 5 ms a key each reach their own `input` whole, in order and once, while
# between two questions the program clears the screen, prints a prompt or
# a line and works for a few frames; a key held at `wait key` answers that
# wait only, not the questions after it.
# Every case runs; the test fails at the end if any did, naming each.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

# Each program says when it is about to ask, so that nothing is typed while
# it is still starting, and writes its answers to a file at the end.
ready=('open file to write 1, "asking.txt"' 'close file 1')
# A key is held only once the window has settled: on a bare X server the
# window takes the whole screen itself a second after start-up, and the
# pointer's leaving and entering the window then makes SDL check which keys
# are down, while repeats of the held key may still wait in its queue.
settle=('t = timer()' 'repeat' 'sync' 'until timer() - t > 1500')
# Some frames of work, longer than the slowest typist takes for a key.
work='for f = 1 to 6 : sync : next f'
save_answers() {
  local count=$1 i
  echo 'open file to write 1, "answers.txt"'
  for ((i = 1; i <= count; i++)); do echo "write file string 1, said\$($i)"; done
  echo 'close file 1'
}
{
  printf '%s\r\n' 'dim said$(2)' "${ready[@]}" 'input a$' 'cls' "$work" 'input "second? ", b$' 'said$(1) = a$' \
    'said$(2) = b$'
  save_answers 2 | sed 's/$/\r/'
} > prompt.kqa
{
  printf '%s\r\n' 'dim said$(5)' "${ready[@]}" 'for i = 1 to 5' 'input a$' 'said$(i) = a$' \
    'print str$(i) + " said " + a$' "$work" 'next i'
  save_answers 5 | sed 's/$/\r/'
} > loop.kqa
{
  printf '%s\r\n' 'dim said$(2)' "${settle[@]}" "${ready[@]}" 'wait key' 'input a$' 'input b$' 'said$(1) = a$' \
    'said$(2) = b$'
  save_answers 2 | sed 's/$/\r/'
} > held.kqa

# Types each line and Return after it at DELAY ms from key to key, in one
# go (the lines are of letters, each its own key name).
type_lines() {
  local delay=$1 line keys=()
  shift
  for line in "$@"; do keys+=($(echo "$line" | grep -o .) Return); done
  xdotool key --delay "$delay" "${keys[@]}"
}

failures=()
# The program's answers, one a line.
answers() { tr '\0' '\n' < answers.txt | tr -d '\r' | sed '/^$/d'; }

# run_case NAME PROGRAM EXPECTED TYPING...: starts the program, waits until
# it asks, runs each TYPING command, and checks the answers it saved.
run_case() {
  local name=$1 program=$2 expected=$3 got
  shift 3
  rm -f asking.txt answers.txt
  desk_start "$zentrovex" run "$program"
  desk_window "$DESK_WORK/$program"
  desk_until test -e asking.txt || desk_fail "$name: the program did not start"
  local step
  for step in "$@"; do eval "$step"; done
  if ! DESK_TIMEOUT=10 desk_ended; then
    got="(still waiting: a key typed never reached it)"
    kill -KILL "$DESK_PID" 2> /dev/null || true
    { wait "$DESK_PID"; } 2> /dev/null || true
    DESK_PID=
  elif [ "$DESK_STATUS" != 0 ]; then
    got="(ended with status $DESK_STATUS)"
  else
    got=$(answers | paste -sd '|')
  fi
  if [ "$got" = "$expected" ]; then
    echo "ok   $name"
  else
    echo "FAIL $name: got $got, typed $expected"
    failures+=("$name")
  fi
}

for delay in 100 60 40 20 5; do
  run_case "prompt at $delay ms" prompt.kqa "first|second" "type_lines $delay first second"
  run_case "loop at $delay ms" loop.kqa "one|two|three|four|five" \
    "type_lines $delay one two three four five"
done
# A held key repeats; only its first press answers the wait.
for key in Return space; do
  run_case "$key held at wait key" held.kqa "bob|ann" "xdotool keydown $key" "sleep 1" "xdotool keyup $key" \
    "type_lines 40 bob ann"
done

[ ${#failures[@]} = 0 ] || desk_fail "${#failures[@]} cases lost or invented answers: ${failures[*]}"
echo "typeahead: every answer typed at every speed reached its input whole, once"
