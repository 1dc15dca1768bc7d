#!/usr/bin/env bash
# Typed answers at a real window: a line typed before a question answers it
# whole or not at all, however long ago it was typed, and keys pressed
# during play (while the program reads the keys) answer nothing. Each case
# of the table below is typed with xdotool at 100, 40 and 5 ms a key;
# typing ahead waits through prompts, waits, `cls` and frames, while a line
# typed into a loop that reads keys is dropped whole and the question waits
# for it to be typed again.
#
# One program per pace runs the cases in turn, each saying when it is ready
# for keys (ready-CASE.txt), when its question of interest has begun
# (asked-CASE.txt) and what its questions took (answers-CASE.txt, "|"
# between two answers). A case that hangs is reported and a new program
# goes on with the cases after it. Every case runs; the test fails at the
# end if any did, naming each.
#
# ZV_TYPED_CASES and ZV_TYPED_PACES choose cases and paces; ZV_TYPED_TRIES
# runs each case that many times and counts the answers that came right
# (how the figures of the closing notes are measured).
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
for tool in xset xmodmap; do
  command -v $tool > /dev/null || { echo "SKIP: $tool is not installed (Debian package x11-xserver-utils)"; exit 77; }
done
cd "$DESK_WORK"

# case         expected              typed, and what the program does
table='
wait           go|look at the door   the second line typed ahead through `wait 1500`
creak_near     a|north               "north" typed 0.1 s after the first Return, `print` and `wait 2000` between
creak_far      a|north               the same 0.9 s after the first Return
coins          125|                  "125" typed across the point 1 s before `input n` that follows `wait 2000`
annabel        annabel|              "annabel" the same way into a string
frames_near    a|bob                 "bob" typed 0.1 s after the first Return, 2 s of frames between
frames_far     a|bob                 the same 0.95 s after the first Return
play           ann|                  Return, q and x tapped while a loop reads `space key()`; "ann" at the prompt
playqx         ann|                  q and x alone the same way
inkeygame      ann|                  "adadad" typed while a loop reads `inkey$()`; "ann" at the prompt
anykey         ann|                  x held until `scancode()` sees it, `wait 300`; "ann" at the prompt
trap           go|up                 "open the trap" typed ahead into a `key state()` loop; "up" at the question
release        ab|ef                 "cd" typed into a loop waiting until no key is held; "ef" at the question
return         ann|                  Return held until a `return key()` loop sees it; the name typed at the prompt
inkey          ann|                  the same with a loop on `inkey$()`
eacute         Zoé|Müller|émile@€à   letters beyond ASCII, in the program`s own character set
entry          ab|cd                 `entry$()` and `clear entry buffer` between two questions
flood          x*255|bob             5,000 letters and a second line typed while the program works without a frame
click          clicked|              `wait mouse` ends on a click whose press and release come together
prompt         first|second          typed ahead through `cls`, frames of work and a prompt
loop           one|two|three|four|five   five answers typed ahead, each printed, frames of work between
heldreturn     bob|ann               Return held until it repeats at `wait key`: one press; then two lines
heldspace      bob|ann               the same with the space bar
nowindow       3|why                 a run whose window cannot be made ends with status 3 and says why
'
# The columns stand two or more blanks apart.
declare -A expected
cases=()
while IFS=$'\t' read -r name answer _; do
  [ -n "$name" ] || continue
  cases+=("$name")
  expected[$name]=$answer
done < <(sed 's/   */\t/g' <<< "$table")
read -r -a cases <<< "${ZV_TYPED_CASES:-${cases[*]}}"
read -r -a paces <<< "${ZV_TYPED_PACES:-100 40 5}"
tries=${ZV_TYPED_TRIES:-1}
flood_letters=5000

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
  a$ = "" : b$ = "" : c$ = ""
  m$ = "ready-" + w$ + ".txt" : gosub mark
  if w$ = "wait" then gosub case_wait
  if left$(w$, 5) = "creak" then gosub case_creak
  if w$ = "coins" then gosub case_coins
  if w$ = "annabel" then gosub case_annabel
  if left$(w$, 6) = "frames" then gosub case_frames
  if left$(w$, 4) = "play" then gosub case_play
  if w$ = "inkeygame" then gosub case_inkeygame
  if w$ = "anykey" then gosub case_anykey
  if w$ = "trap" then gosub case_trap
  if w$ = "release" then gosub case_release
  if w$ = "return" then gosub case_return
  if w$ = "inkey" then gosub case_inkey
  if w$ = "eacute" then gosub case_three
  if w$ = "entry" then gosub case_entry
  if w$ = "flood" then gosub case_flood
  if w$ = "click" then gosub case_click
  if w$ = "prompt" then gosub case_prompt
  if w$ = "loop" then gosub case_loop
  if left$(w$, 4) = "held" then gosub case_held
  if a$ = x255$ then a$ = "x*255"
  m$ = "answers-" + w$ + ".txt"
  if file exists(m$) = 1 then delete file m$
  open file to write 1, m$
  s$ = a$ + "|" + b$
  if c$ <> "" then s$ = s$ + "|" + c$
  write file string 1, s$
  close file 1
return

mark:
  if file exists(m$) = 1 then delete file m$
  open file to write 1, m$
  close file 1
return

asked:
  m$ = "asked-" + w$ + ".txt" : gosub mark
return

rem a sign from the test that it has typed what it types during play
check_typed:
  typed = file exists("typed-" + w$ + ".txt")
return

case_wait:
  input a$
  wait 1500
  input b$
return

case_creak:
  input a$
  print "The door creaks open..."
  wait 2000
  input b$
return

case_coins:
  print "Get ready..."
  wait 2000
  input "How many coins? "; n
  a$ = str$(n)
return

case_annabel:
  print "Get ready..."
  wait 2000
  input "Name? "; a$
return

case_frames:
  sync on
  input a$
  t = timer()
  repeat : sync : until timer() - t > 2000
  input b$
  sync off
return

case_play:
  sync on
  repeat
    if space key() = 1 then jumps = jumps + 1
    sync
    gosub check_typed
  until typed = 1
  for f = 1 to 10
    if space key() = 1 then jumps = jumps + 1
    sync
  next f
  gosub asked
  input "Your name: "; a$
  sync off
return

case_inkeygame:
  sync on
  repeat
    k$ = inkey$()
    sync
    gosub check_typed
  until typed = 1
  for f = 1 to 10
    k$ = inkey$()
    sync
  next f
  gosub asked
  input "Your name: "; a$
  sync off
return

case_anykey:
  sync on
  print "Press any key"
  repeat : sync : until scancode() <> 0
  m$ = "saw-" + w$ + ".txt" : gosub mark
  wait 300
  gosub asked
  input "Name: "; a$
  sync off
return

case_trap:
  input a$
  repeat
    if key state(25) = 1 then paused = 1
    sync
    gosub check_typed
  until typed = 1
  gosub asked
  input b$
return

case_release:
  input a$
  m$ = "looping-" + w$ + ".txt" : gosub mark
  while scancode() <> 0
    sync
  endwhile
  gosub asked
  input b$
return

case_return:
  sync on
  repeat : sync : until return key() = 1
  gosub asked
  input a$
  sync off
return

case_inkey:
  sync on
  repeat
    sync
    k$ = inkey$()
  until k$ = chr$(13)
  gosub asked
  input a$
  sync off
return

case_three:
  input a$
  input b$
  input c$
return

case_entry:
  input a$
  e$ = entry$()
  clear entry buffer
  input b$
return

case_flood:
  sync on
  repeat
  until file exists("typed-flood.txt") = 1
  input a$
  for f = 1 to 6 : sync : next f
  input b$
  sync off
return

case_click:
  wait mouse
  a$ = "clicked"
return

case_prompt:
  input a$
  cls
  for f = 1 to 6 : sync : next f
  input "second? ", b$
return

case_loop:
  for q = 1 to 5
    input n$
    print str$(q) + " said " + n$
    for f = 1 to 6 : sync : next f
    if q = 1
      a$ = n$
    else
      if b$ <> "" then b$ = b$ + "|"
      b$ = b$ + n$
    endif
  next q
return

case_held:
  wait key
  input a$
  input b$
return
EOF

# press_keys KEY:DOWN:UP...: one xdotool run that presses each key at DOWN
# ms and lets it go at UP ms, so presses may overlap as in quick typing; an
# empty DOWN lets go a key held before, an empty UP leaves it held.
press_keys() {
  local spec key down up chain=() last=0
  for spec in "$@"; do
    IFS=: read -r key down up <<< "$spec"
    [ -z "$down" ] || echo "$down 1 keydown $key"
    [ -z "$up" ] || echo "$up 0 keyup $key"
  done | sort -n -k1,1 -k2,2 > presses.txt
  while read -r at _ action key; do
    [ "$at" -gt "$last" ] && chain+=(sleep "$(printf '0.%03d' $((at - last)))")
    chain+=("$action" "$key")
    last=$at
  done < presses.txt
  xdotool "${chain[@]}"
}

# The key names of each line and Return after it.
keys_of() {
  local line c
  for line in "$@"; do
    while IFS= read -r -n 1 c; do
      [ -z "$c" ] || { [ "$c" = " " ] && echo space; } || echo "$c"
    done <<< "$line"
    echo Return
  done
}

# type_at DELAY LINE...: a key every DELAY ms, each let go before the next.
type_at() {
  local delay=$1
  shift
  xdotool key --delay "$delay" $(keys_of "$@")
}

# Waits for a sign the program gives: a file of that name.
sign() { DESK_TIMEOUT=20 desk_until test -e "$1"; }
# Sleeps MS milliseconds (the cases that type at a time before a question).
sleep_ms() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }

# The steps of each case once the program is ready for it, at DELAY ms a key.
play_wait() { type_at "$1" go "look at the door"; }
play_creak_near() { type_at "$1" a; sleep 0.1; type_at "$1" north; }
play_creak_far() { type_at "$1" a; sleep 0.9; type_at "$1" north; }
# The question comes 2 s after the sign; the point 1 s before it falls in
# the middle of the answer.
play_coins() { sleep_ms $((1000 - $1 * 3 / 2)); type_at "$1" 125; }
play_annabel() { sleep_ms $((1000 - $1 * 4)); type_at "$1" annabel; }
play_frames_near() { type_at "$1" a; sleep 0.1; type_at "$1" bob; }
play_frames_far() { type_at "$1" a; sleep 0.95; type_at "$1" bob; }
during_play() {
  local name=$1 delay=$2
  shift 2
  xdotool key --delay "$delay" "$@"
  touch "typed-$name.txt"
  sign "asked-$name.txt" || return 0
  type_at "$delay" ann
}
play_play() { during_play play "$1" Return q x; }
play_playqx() { during_play playqx "$1" q x; }
play_inkeygame() { during_play inkeygame "$1" a d a d a d; }
play_anykey() {
  xdotool keydown x
  sign saw-anykey.txt || { xdotool keyup x; return 0; }
  xdotool keyup x
  sign asked-anykey.txt || return 0
  type_at "$1" ann
}
play_trap() {
  type_at "$1" go "open the trap"
  touch typed-trap.txt
  sign asked-trap.txt || return 0
  type_at "$1" up
}
# "ab" and Return, held into the loop; then "cd" and Return pressed over
# one another while the loop looks, the first Return let go among them.
play_release() {
  local d=$1
  press_keys "a:0:$((d * 3 / 2))" "b:$d:$((d * 5 / 2))" "Return:$((d * 2)):"
  sign looping-release.txt || { xdotool keyup Return; return 0; }
  press_keys "c:0:$((d * 3 / 2))" "Return::$((d / 2))" "d:$d:$((d * 5 / 2))" "Return:$((d * 2)):$((d * 7 / 2))"
  sign asked-release.txt || return 0
  type_at "$d" ef
}
# Return held until the loop has seen it and the question begun; the name
# begins while it is still held.
held_until_asked() {
  local name=$1 delay=$2
  xdotool keydown Return
  sign "asked-$name.txt" || { xdotool keyup Return; return 0; }
  xdotool key a keyup Return
  xdotool key --delay "$delay" n n Return
}
play_return() { held_until_asked return "$1"; }
play_inkey() { held_until_asked inkey "$1"; }
play_eacute() {
  xdotool key --delay "$1" Z o eacute Return M udiaeresis l l e r Return eacute m i l e at EuroSign agrave Return
}
play_entry() { type_at "$1" ab cd; }
play_flood() {
  xdotool type --delay 0 "$(head -c $flood_letters /dev/zero | tr '\0' x)"
  type_at "$1" "" bob
  touch typed-flood.txt
}
play_click() { xdotool mousemove --window "$DESK_WINDOW" 100 100 sleep 0.2 mousedown 1 mouseup 1; }
play_prompt() { type_at "$1" first second; }
play_loop() { type_at "$1" one two three four five; }
held_at_wait_key() {
  desk_key_repeat on
  xdotool keydown "$1" sleep 1 keyup "$1"
  desk_key_repeat off
  type_at "$2" bob ann
}
play_heldreturn() { held_at_wait_key Return "$1"; }
play_heldspace() { held_at_wait_key space "$1"; }

# A case run by itself, setting $got: a display number nobody serves.
alone_nowindow() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || grep -q "/tmp/.X11-unix/X$n\$" /proc/net/unix 2> /dev/null; do n=$((n + 1)); done
  printf 'input a$\r\n' > nowindow.kqa
  desk_start env DISPLAY=":$n" "$zentrovex" run nowindow.kqa
  if ! desk_ended; then
    got="(still running, unseen)"
    kill -KILL "$DESK_PID" 2> /dev/null || true
    { wait "$DESK_PID"; } 2> /dev/null || true
    DESK_PID=
  elif grep -q "cannot open a window on DISPLAY=:$n: ." "$DESK_WORK/err.txt"; then
    got="$DESK_STATUS|why"
  else
    got="$DESK_STATUS|$(tr '\n' ' ' < "$DESK_WORK/err.txt")"
  fi
}

# The letters beyond ASCII have keys of their own, so that xdotool does not
# lend one to a spare key for a moment, which the program could read after
# it was taken back.
xmodmap -e "keycode 250 = eacute" -e "keycode 251 = udiaeresis" -e "keycode 252 = EuroSign" -e "keycode 253 = agrave"
desk_key_repeat off

# The case's answers, or what kept them from coming.
answers_of() {
  local name=$1
  if DESK_TIMEOUT=20 desk_until test -e "answers-$name.txt"; then
    tr -d '\0\r' < "answers-$name.txt" | iconv -f CP1252 -t UTF-8
  elif kill -0 "$DESK_PID" 2> /dev/null; then
    echo "(still waiting: a line typed never reached it)"
  else
    echo "(the program ended: $(tail -c 300 "$DESK_WORK/err.txt"))"
  fi
}

failures=()
declare -A right
# Runs the cases given at DELAY ms a key, one program for all of them; after
# a case that did not answer, a new program goes on.
run_cases_at() {
  local delay=$1 name got
  shift
  local left=("$@")
  while [ ${#left[@]} -gt 0 ]; do
    rm -f ready-*.txt answers-*.txt asked-*.txt typed-*.txt saw-*.txt looping-*.txt
    if declare -F "alone_${left[0]}" > /dev/null; then
      name=${left[0]}
      left=("${left[@]:1}")
      "alone_$name"
    else
      desk_start "$zentrovex" run questions.kqa "${left[@]}"
      desk_window "$DESK_WORK/questions.kqa"
      while [ ${#left[@]} -gt 0 ] && ! declare -F "alone_${left[0]}" > /dev/null; do
        name=${left[0]}
        left=("${left[@]:1}")
        if sign "ready-$name.txt"; then
          "play_$name" "$delay"
          got=$(answers_of "$name")
        else
          got="(never asked)"
        fi
        [ "$got" = "${expected[$name]}" ] || break
        echo "ok   $name at $delay ms"
        right[$name@$delay]=$((${right[$name@$delay]:-0} + 1))
      done
      kill -KILL "$DESK_PID" 2> /dev/null || true
      { wait "$DESK_PID"; } 2> /dev/null || true
      DESK_PID=
      [ "$got" = "${expected[$name]}" ] && continue
    fi
    if [ "$got" = "${expected[$name]}" ]; then
      echo "ok   $name at $delay ms"
      right[$name@$delay]=$((${right[$name@$delay]:-0} + 1))
    else
      echo "FAIL $name at $delay ms: got $got, typed ${expected[$name]}"
      failures+=("$name at $delay ms")
    fi
  done
}

started=$SECONDS
for ((try = 1; try <= tries; try++)); do
  for delay in "${paces[@]}"; do
    run_cases_at "$delay" "${cases[@]}"
  done
done
if [ "$tries" -gt 1 ]; then
  for name in "${cases[@]}"; do
    for delay in "${paces[@]}"; do printf '%-12s %3s ms: %s of %s right\n' "$name" "$delay" "${right[$name@$delay]:-0}" "$tries"; done
  done
fi
echo "typed answers: $((SECONDS - started)) s"
[ ${#failures[@]} = 0 ] || desk_fail "${#failures[@]} cases lost or invented answers: ${failures[*]}"
echo "typed answers: every line typed at every pace answered whole or not at all, and play answered nothing"
