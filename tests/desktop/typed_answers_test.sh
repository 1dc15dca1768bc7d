#!/usr/bin/env bash
# A typed key answers the question it was typed for, and only that one. At
# 100, 60, 40, 20 and 5 ms a key, typed with xdotool into a real window:
#   stray    keys tapped during a 3 s loop that reads only `space key()`,
#            the last of them a second or more before the prompt, answer
#            nothing: the name typed at the prompt arrives alone;
#   entry    `entry$()` and `clear entry buffer` between two questions leave
#            the second answer, typed ahead, whole;
#   release  a loop that waits until no key is held (`scancode()`) between
#            two questions, with presses that overlap as in quick typing,
#            loses nothing;
#   flood    5,000 letters, Return, "bob", Return, all typed while the
#            program works without a frame, then two questions with a few
#            frames of work between them: both lines end, the second whole;
#   return   a loop on `return key()` ended by Return, then `input`, the
#            name typed from 40 ms after that Return: the Return answers
#            nothing, the name arrives whole; the loop's frames are slow, so
#            that it sees the Return only after the name has begun;
#   inkey    the same with a loop on `inkey$()`, which sees a key only until
#            the next event: the name comes from 40 ms after the Return is
#            let go;
#   click    `wait mouse` ends on a click whose press and release come
#            together.
# One program per speed runs the cases in turn; a case that hangs is
# reported and the program is started again for the cases after it. Every
# case runs; the test fails at the end if any did, naming each.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
cd "$DESK_WORK"

cases=(stray entry release flood return inkey click)
flood_letters=5000

# Each case says when it is ready for keys (ready-CASE.txt) and writes its
# answers, joined with "|", to answers-CASE.txt.
cat > questions.kqa << 'EOF'
rem the cases named on the command line, in turn
for i = 1 to 255 : x255$ = x255$ + "x" : next i
rem on a bare X server the window takes the whole screen a second after
rem start-up, and SDL then checks which keys are held
t = timer()
repeat : sync : until timer() - t > 1500
words$ = command line$() + " "
for i = 1 to len(words$)
  c$ = mid$(words$, i)
  if c$ = " "
    if w$ <> "" then gosub run_case
    w$ = ""
  else
    w$ = w$ + c$
  endif
next i
end

run_case:
  a$ = "" : b$ = ""
  m$ = "ready-" + w$ + ".txt"
  if w$ = "stray" then gosub case_stray
  if w$ = "entry" then gosub case_entry
  if w$ = "release" then gosub case_release
  if w$ = "flood" then gosub case_flood
  if w$ = "return" then gosub case_return
  if w$ = "inkey" then gosub case_inkey
  if w$ = "click" then gosub case_click
  if a$ = x255$ then a$ = "x*255"
  m$ = "answers-" + w$ + ".txt"
  if file exists(m$) = 1 then delete file m$
  open file to write 1, m$
  write file string 1, a$ + "|" + b$
  close file 1
return

mark:
  if file exists(m$) = 1 then delete file m$
  open file to write 1, m$
  close file 1
return

case_stray:
  sync on
  gosub mark
  t = timer()
  repeat
    if space key() = 1 then jumps = jumps + 1
    sync
  until timer() - t > 3000
  m$ = "asked-stray.txt" : gosub mark
  input "Your name: "; a$
  sync off
return

case_entry:
  gosub mark
  input a$
  e$ = entry$()
  clear entry buffer
  input b$
return

case_release:
  gosub mark
  input a$
  while scancode() <> 0
    sync
  endwhile
  input b$
return

case_flood:
  sync on
  gosub mark
  repeat
  until file exists("typed-flood.txt") = 1
  input a$
  for f = 1 to 6 : sync : next f
  input b$
  sync off
return

case_return:
  sync on
  gosub mark
  frame = 0
  repeat
    frame = frame + 1
    m$ = "frame-" + str$(frame) + ".txt" : gosub mark
    t = timer()
    repeat
    until timer() - t > 500
    sync
  until return key() = 1
  input a$
  sync off
return

case_inkey:
  sync on
  gosub mark
  repeat
    sync
    k$ = inkey$()
  until k$ = chr$(13)
  input a$
  sync off
return

case_click:
  gosub mark
  wait mouse
  a$ = "clicked"
return
EOF

# press_keys KEY:DOWN:UP...: one xdotool run that presses each key at DOWN
# ms and lets it go at UP ms, so presses may overlap as in quick typing.
press_keys() {
  local spec key down up chain=() last=0
  for spec in "$@"; do
    IFS=: read -r key down up <<< "$spec"
    echo "$down 1 keydown $key"
    echo "$up 0 keyup $key"
  done | sort -n -k1,1 -k2,2 > presses.txt
  while read -r at _ action key; do
    [ "$at" -gt "$last" ] && chain+=(sleep "$(printf '0.%03d' $((at - last)))")
    chain+=("$action" "$key")
    last=$at
  done < presses.txt
  xdotool "${chain[@]}"
}

# The keys of each line and Return after it (the lines are of letters).
keys_of() {
  local line
  for line in "$@"; do echo $(echo "$line" | grep -o .) Return; done
}

# type_at DELAY LINE...: a key every DELAY ms, each let go before the next.
type_at() {
  local delay=$1
  shift
  xdotool key --delay "$delay" $(keys_of "$@")
}

# overlapping_at DELAY LINE...: a key every DELAY ms, each held until half
# way to the key after the next one.
overlapping_at() {
  local delay=$1 key at=0 specs=()
  shift
  for key in $(keys_of "$@"); do
    specs+=("$key:$at:$((at + delay * 3 / 2))")
    at=$((at + delay))
  done
  press_keys "${specs[@]}"
}

# Return held HELD ms as a finger holds it, and from FROM ms after it the
# name typed at DELAY ms a key; its own Return comes once the finger is off
# the first, 100 ms or more after it.
return_then_name_at() {
  local delay=$1 held=$2 at=$3 key specs=()
  specs=("Return:0:$held")
  for key in a n n; do
    specs+=("$key:$at:$((at + (delay + 1) / 2))")
    at=$((at + delay))
  done
  [ $at -gt $((held + 100)) ] || at=$((held + 100))
  specs+=("Return:$at:$((at + (delay + 1) / 2))")
  press_keys "${specs[@]}"
}

ready() { DESK_TIMEOUT=20 desk_until test -e "ready-$1.txt"; }

# The steps of each case once the program is ready for it.
play_stray() {
  local delay=$1
  type_at "$delay" "" q x
  # The premise: the last stray key a second or more before the prompt.
  sleep 1
  if [ -e asked-stray.txt ]; then
    echo "the prompt came less than 1 s after the stray keys" > premise.txt
    return
  fi
  desk_until test -e asked-stray.txt || return 0
  type_at "$delay" ann
}
play_entry() { type_at "$1" ab cd; }
play_release() { overlapping_at "$1" ab cd; }
play_flood() {
  xdotool type --delay 0 "$(head -c $flood_letters /dev/zero | tr '\0' x)"
  type_at "$1" "" bob
  touch typed-flood.txt
}
# Pressed as the 500 ms of a frame's work begin: the loop looks at the keys
# once they are over, the Return still held.
play_return() {
  local frames
  frames=$(ls frame-*.txt 2> /dev/null | wc -l)
  desk_until test -e "frame-$((frames + 1)).txt" || return 0
  return_then_name_at "$1" 600 40
}
play_inkey() { return_then_name_at "$1" 100 140; }
play_click() { xdotool mousemove --window "$DESK_WINDOW" 100 100 sleep 0.2 mousedown 1 mouseup 1; }

declare -A expected=([stray]="ann|" [entry]="ab|cd" [release]="ab|cd" [flood]="x*255|bob" [return]="ann|"
  [inkey]="ann|" [click]="clicked|")

failures=()
# The case's answers, or what kept them from coming.
answers_of() {
  local name=$1
  if [ -s premise.txt ]; then
    echo "(not tried: $(cat premise.txt))"
  elif DESK_TIMEOUT=8 desk_until test -e "answers-$name.txt"; then
    tr -d '\0\r' < "answers-$name.txt"
  elif kill -0 "$DESK_PID" 2> /dev/null; then
    echo "(still waiting: a key typed never reached it)"
  else
    echo "(the program ended: $(tail -c 300 "$DESK_WORK/err.txt"))"
  fi
}

# Runs the cases from the first given at DELAY ms a key, one program for
# all of them; after a case that did not answer, a new program goes on.
run_cases_at() {
  local delay=$1 name got
  shift
  local left=("$@")
  while [ ${#left[@]} -gt 0 ]; do
    rm -f ready-*.txt answers-*.txt asked-*.txt typed-*.txt frame-*.txt premise.txt
    desk_start "$zentrovex" run questions.kqa "${left[@]}"
    desk_window "$DESK_WORK/questions.kqa"
    while [ ${#left[@]} -gt 0 ]; do
      name=${left[0]}
      left=("${left[@]:1}")
      if ready "$name"; then
        "play_$name" "$delay"
        got=$(answers_of "$name")
      else
        got="(never asked)"
      fi
      if [ "$got" = "${expected[$name]}" ]; then
        echo "ok   $name at $delay ms"
      else
        echo "FAIL $name at $delay ms: got $got, typed ${expected[$name]}"
        failures+=("$name at $delay ms")
        break
      fi
    done
    kill -KILL "$DESK_PID" 2> /dev/null || true
    { wait "$DESK_PID"; } 2> /dev/null || true
    DESK_PID=
  done
}

for delay in 100 60 40 20 5; do
  run_cases_at "$delay" "${cases[@]}"
done

[ ${#failures[@]} = 0 ] || desk_fail "${#failures[@]} cases lost or invented answers: ${failures[*]}"
echo "typed answers: every answer typed at every speed reached its own question whole, once"
