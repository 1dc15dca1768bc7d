#!/usr/bin/env bash
# Typed answers at a real window: a line typed before a question answers it
# whole or not at all, however long ago it was typed, and a key the program
# read (a key function found it down, or `inkey$()`, `scancode()`,
# `entry$()` or `wait key` gave it) is play: its line answers nothing. A
# look at one key reads that key only. Each case of the table below is
# typed with xdotool at the paces of its row, 100, 40 or 5 ms a key: all
# three where the pace moves which keys come before a question's start,
# one where it changes nothing the case checks. Typing ahead waits through
# prompts, waits, `cls` and frames, while a line the program read is
# dropped whole and the question waits for it to be typed again.
#
# Where the program could read a key by chance (a key tapped while a loop
# looks at it), the key is held until the program says it found it, or the
# program is stopped (SIGSTOP) while the keys are typed, so that each
# press and release reach it together: every case has one right answer.
#
# One program per pace runs the cases in turn, each saying when it is ready
# for keys (ready-CASE.txt), when its question of interest has begun
# (asked-CASE.txt) and what its questions took (answers-CASE.txt, "|"
# between two answers). A case that has not answered within
# ZV_TYPED_ROW_SECONDS (45 s, many times what any needs) lost a line: it is
# reported, and a new program goes on with the cases after it. Every case
# runs; the test fails at the end if any did, naming each.
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

# case         expected              paces      typed, and what the program does
table='
wait           go|look at the door   5          the second line typed ahead through `wait 1500`
creak_near     a|north               40         "north" typed 0.1 s after the first Return, `print` and `wait 2000` between
creak_far      a|north               100        the same 0.9 s after the first Return
coins          125|                  100 40 5   "125" typed across the point 1 s before `input n` that follows `wait 2000`
annabel        annabel|              100 40 5   "annabel" the same way into a string
frames_near    a|bob                 5          "bob" typed 0.1 s after the first Return, 2 s of frames between
frames_far     a|bob                 100        the same 0.95 s after the first Return
play           qxann|                40         Return, q and x tapped while a loop reads `space key()`: never read, "qx" shows in the field, and the Return alone answers nothing (changed: dropped, then an empty answer)
playqx         qxann|                5          q and x alone the same way (changed: dropped)
stray          ann|                  40         Return tapped twice while a loop reads `space key()`: empty lines answer no name (new)
highscore      annabel|              100 40 5   "annabel" typed across the start of the name question as a `space key()` game ends (new)
highscore10    annabel|              100 40 5   the same with a game that looks every 10th frame (new)
inkeygame      ann|                  40         a, d, a, d held, each until `inkey$()` gives it; "ann" at the prompt
anykey         ann|                  100        x held until `scancode()` sees it, `wait 300`; "ann" at the prompt
trap           go|up                 40         "open the trap" typed ahead into a `key state(25)` loop, its P held until the loop finds it; "up" at the question
trapstream     go|open the trap      5          "go", "open the t" typed with the program stopped, so the loop never finds the P; "rap" once the question has begun (new)
escape         go|look               5          "go", "look" in one stream, 30 frames of `if escape key() = 1 then end` between (new)
release        ab|cdef               40         "cd" tapped in a loop until no key is held, while the Return that answered the first question is held: the loop reads that Return only (changed: dropped)
return         ann|                  100        Return held until a `return key()` loop sees it; the name typed at the prompt
inkey          ann|                  40         the same with a loop on `inkey$()`
eacute         Zoé|Müller|émile@€à   5          letters beyond ASCII, in the program`s own character set
entry          ab|cd                 100        `entry$()` and `clear entry buffer` between two questions; "cd" once the second has begun (changed: typed before, `entry$()` reads it)
entryloop      42|                   100 40 5   "bob" typed into an `entry$()` loop, `clear entry buffer`, `wait 1500`; "42" across the question`s start (new)
waitkey        bob|                  40         "ann" typed before a `wait key`, which takes its a; "bob" once the question has begun (new)
waitreturn     bob|                  100 40 5   Return, "bob", Return typed during `wait 2000`: the Return ends the `wait key` after it, "bob" answers the `input` (new)
equals         ok|                   100        "=" held, repeating, from before a `key state(13)` loop finds it to past the question`s start; "ok" at the prompt (new)
flood          x*4096|bob            5          5,000 letters and a second line typed while the program works without a frame
click          clicked|              100        `wait mouse` ends on a click whose press and release come together
prompt         first|second          40         typed ahead through `cls`, frames of work and a prompt
loop           one|two|three|four|five   5   five answers typed ahead, each printed, frames of work between
heldreturn     bob|ann               40         Return held until it repeats at `wait key`: one press; then two lines
heldspace      bob|ann               100        the same with the space bar
doubled        xbob|                 5          x pressed twice within a millisecond at `wait key`: one press each, the second x begins the input (new)
nowindow       3|why                 5          a run whose window cannot be made ends with status 3 and says why
'
# The columns stand two or more blanks apart.
declare -A expected paces_of
cases=()
while IFS=$'\t' read -r name answer row_paces _; do
  [ -n "$name" ] || continue
  cases+=("$name")
  expected[$name]=$answer
  paces_of[$name]=$row_paces
done < <(sed 's/   */\t/g' <<< "$table")
read -r -a cases <<< "${ZV_TYPED_CASES:-${cases[*]}}"
read -r -a paces <<< "${ZV_TYPED_PACES:-100 40 5}"
# A case runs at the paces of its row, or at every pace ZV_TYPED_PACES names;
# with ZV_TYPED_FIRST_PACE=1, at the first of its row's alone.
runs_at() {
  local row=${paces_of[$1]}
  [ "${ZV_TYPED_FIRST_PACE:-}" != 1 ] || row=${row%% *}
  [[ " ${ZV_TYPED_PACES:-$row} " == *" $2 "* ]]
}
tries=${ZV_TYPED_TRIES:-1}
flood_letters=5000

cat > questions.kqa << 'EOF'
rem the cases named on the command line, in turn
for i = 1 to 4096 : x4096$ = x4096$ + "x" : next i
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
  rem nothing of the case before reaches this one
  clear entry buffer
  m$ = "ready-" + w$ + ".txt" : gosub mark
  if w$ = "wait" then gosub case_wait
  if left$(w$, 5) = "creak" then gosub case_creak
  if w$ = "coins" then gosub case_coins
  if w$ = "annabel" then gosub case_annabel
  if left$(w$, 6) = "frames" then gosub case_frames
  if left$(w$, 4) = "play" or w$ = "stray" then gosub case_play
  if left$(w$, 9) = "highscore" then gosub case_highscore
  if w$ = "inkeygame" then gosub case_inkeygame
  if w$ = "anykey" then gosub case_anykey
  if left$(w$, 4) = "trap" then gosub case_trap
  if w$ = "escape" then gosub case_escape
  if w$ = "release" then gosub case_release
  if w$ = "return" then gosub case_return
  if w$ = "inkey" then gosub case_inkey
  if w$ = "eacute" then gosub case_three
  if w$ = "entry" then gosub case_entry
  if w$ = "entryloop" then gosub case_entryloop
  if w$ = "waitkey" then gosub case_waitkey
  if w$ = "waitreturn" then gosub case_waitreturn
  if w$ = "equals" then gosub case_equals
  if w$ = "flood" then gosub case_flood
  if w$ = "click" then gosub case_click
  if w$ = "prompt" then gosub case_prompt
  if w$ = "loop" then gosub case_loop
  if left$(w$, 4) = "held" then gosub case_held
  if w$ = "doubled" then gosub case_doubled
  if a$ = x4096$ then a$ = "x*4096"
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

rem a game on the space bar until the test has typed, and 10 frames more;
rem it looks every frame, or every 10th in highscore10
space_game:
  sync on
  f = 0
  repeat
    f = f + 1
    if w$ <> "highscore10" or f = (f / 10) * 10
      if space key() = 1 then jumps = jumps + 1
    endif
    sync
    gosub check_typed
  until typed = 1
  for f = 1 to 10
    if space key() = 1 then jumps = jumps + 1
    sync
  next f
return

case_play:
  gosub space_game
  gosub asked
  input "Your name: "; a$
  sync off
return

rem the game ends while the name is being typed
case_highscore:
  gosub space_game
  input "Name: "; a$
  sync off
return

rem each key `inkey$()` gives, once, as the test holds it
case_inkeygame:
  sync on
  n = 0 : last$ = ""
  repeat
    k$ = inkey$()
    if k$ <> last$ and k$ <> ""
      n = n + 1
      m$ = "saw-" + w$ + str$(n) + ".txt" : gosub mark
    endif
    last$ = k$
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

rem a loop on `key state(k)` until the test has typed, saying once that it
rem found the key held
watch_key:
  seen = 0
  repeat
    if key state(k) = 1 and seen = 0
      seen = 1
      m$ = "saw-" + w$ + ".txt" : gosub mark
    endif
    sync
    gosub check_typed
  until typed = 1
  gosub asked
return

case_trap:
  input a$
  k = 25 : gosub watch_key
  input b$
return

case_escape:
  input a$
  for f = 1 to 30
    if escape key() = 1 then end
    sync
  next f
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
  gosub asked
  input b$
return

case_entryloop:
  repeat
    e$ = entry$()
    sync
  until right$(e$, 1) = chr$(13)
  clear entry buffer
  m$ = "cleared-" + w$ + ".txt" : gosub mark
  wait 1500
  input "Age? "; a$
return

rem the frame after the test has typed takes its keys before `wait key`
case_waitkey:
  repeat
    sync
    gosub check_typed
  until typed = 1
  sync
  wait key
  gosub asked
  input a$
return

case_waitreturn:
  wait 2000
  wait key
  input a$
return

case_equals:
  k = 13 : gosub watch_key
  input a$
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

case_doubled:
  gosub asked
  wait key
  input a$
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
# type_rest DELAY TEXT: the same without a Return after it.
type_rest() { xdotool key --delay "$1" $(keys_of "$2" | head -n -1); }

# Waits for a sign the program gives: a file of that name. A loaded
# machine may take long over a few frames; only a hang takes a minute.
sign() { desk_until test -e "$1"; }
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
play_stray() { during_play stray "$1" Return Return; }
# The program leaves its game 10 frames after the sign, while the name is
# being typed; at 5 ms a key it is typed before.
highscore() {
  type_rest "$2" ann
  touch "typed-$1.txt"
  type_at "$2" abel
}
play_highscore() { highscore highscore "$1"; }
play_highscore10() { highscore highscore10 "$1"; }
# hold_until_seen KEY SIGN: KEY held until the program gives the sign.
hold_until_seen() {
  xdotool keydown "$1"
  sign "$2" || { xdotool keyup "$1"; return 1; }
  xdotool keyup "$1"
}
play_inkeygame() {
  local n=0 key
  for key in a d a d; do
    n=$((n + 1))
    hold_until_seen $key "saw-inkeygame$n.txt" || return 0
  done
  touch typed-inkeygame.txt
  sign asked-inkeygame.txt || return 0
  type_at "$1" ann
}
play_anykey() {
  hold_until_seen x saw-anykey.txt || return 0
  sign asked-anykey.txt || return 0
  type_at "$1" ann
}
# The P held until the loop finds it: the line is play.
play_trap() {
  type_at "$1" go
  type_rest "$1" o
  hold_until_seen p saw-trap.txt || return 0
  type_at "$1" "en the trap"
  touch typed-trap.txt
  sign asked-trap.txt || return 0
  type_at "$1" up
}
# With the program stopped its window gets each key's press and release
# together: the loop never finds the P down. The question begins between
# "t" and "rap".
play_trapstream() {
  kill -STOP "$DESK_PID"
  type_at "$1" go
  type_rest "$1" "open the t"
  kill -CONT "$DESK_PID"
  touch typed-trapstream.txt
  sign asked-trapstream.txt || return 0
  type_at "$1" rap
}
play_escape() { type_at "$1" go look; }
# "ab" and Return, held into the loop; "c" and "d" tapped while it is held,
# so that the loop finds the Return, the lowest key held, and no other.
play_release() {
  local d=$1
  press_keys "a:0:$((d * 3 / 2))" "b:$d:$((d * 5 / 2))" "Return:$((d * 2)):"
  sign looping-release.txt || { xdotool keyup Return; return 0; }
  press_keys "c:0:$((d / 2 + 1))" "d:$d:$((d * 3 / 2 + 1))" "Return::$((d * 2 + 2))"
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
play_entry() {
  type_at "$1" ab
  sign asked-entry.txt || return 0
  type_at "$1" cd
}
# The question comes 1.5 s after the sign; "42" is typed across it.
play_entryloop() {
  type_at "$1" bob
  sign cleared-entryloop.txt || return 0
  sleep_ms $((1500 - $1 * 3 / 2))
  type_at "$1" 42
}
play_waitkey() {
  type_at "$1" ann
  touch typed-waitkey.txt
  sign asked-waitkey.txt || return 0
  type_at "$1" bob
}
play_waitreturn() { sleep 0.5; type_at "$1" "" bob; }
# The = held from before the loop finds it to a second past the question's
# start, repeating.
play_equals() {
  desk_key_repeat on
  xdotool keydown equal
  sign saw-equals.txt && touch typed-equals.txt && sign asked-equals.txt && sleep 1
  xdotool keyup equal
  desk_key_repeat off
  type_at "$1" ok
}
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
# Both presses of x and the release between them reach the window at once,
# with the program stopped, as a paste tool's do.
play_doubled() {
  sign asked-doubled.txt || return 0
  kill -STOP "$DESK_PID"
  xdotool key --delay 0 x x
  kill -CONT "$DESK_PID"
  type_at "$1" bob
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
  if desk_until test -e "answers-$name.txt"; then
    tr -d '\0\r' < "answers-$name.txt" | iconv -f CP1252 -t UTF-8
  elif kill -0 "$DESK_PID" 2> /dev/null; then
    echo "(still waiting: a line typed never reached it)"
  else
    echo "(the program ended: $(tail -c 300 "$DESK_WORK/err.txt"))"
  fi
}

# A case needs a few seconds (3.4 s at most, for the flood, on an idle
# machine), several times that on a loaded one or under the sanitizers: its
# waits end within row_seconds of its start, so that a line lost fails its
# row then rather than the whole test at its limit. The flood costs four
# times what the others do (5,000 keys, while its program works all along:
# 30 s on two processors beside five busy loops) and has three times as long.
row_seconds=${ZV_TYPED_ROW_SECONDS:-45}
row_end() {  # CASE
  local seconds=$row_seconds
  [ "$1" != flood ] || seconds=$((row_seconds * 3))
  echo $((SECONDS + seconds < DESK_END ? SECONDS + seconds : DESK_END))
}

# Plays the case NAME at DELAY ms a key in the program running, setting $got.
run_case() {
  if sign "ready-$1.txt"; then
    "play_$1" "$2"
    got=$(answers_of "$1")
  else
    got="(never asked)"
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
    rm -f ready-*.txt answers-*.txt asked-*.txt typed-*.txt saw-*.txt looping-*.txt cleared-*.txt
    if declare -F "alone_${left[0]}" > /dev/null; then
      name=${left[0]}
      left=("${left[@]:1}")
      DESK_END=$(row_end "$name") "alone_$name"
    else
      desk_start "$zentrovex" run questions.kqa "${left[@]}"
      desk_window
      while [ ${#left[@]} -gt 0 ] && ! declare -F "alone_${left[0]}" > /dev/null; do
        name=${left[0]}
        left=("${left[@]:1}")
        DESK_END=$(row_end "$name") run_case "$name" "$delay"
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
    at=()
    for name in "${cases[@]}"; do runs_at "$name" "$delay" && at+=("$name"); done
    [ ${#at[@]} = 0 ] || run_cases_at "$delay" "${at[@]}"
  done
done
if [ "$tries" -gt 1 ]; then
  for name in "${cases[@]}"; do
    for delay in "${paces[@]}"; do
      runs_at "$name" "$delay" && printf '%-12s %3s ms: %s of %s right\n' "$name" "$delay" "${right[$name@$delay]:-0}" "$tries"
    done
  done
fi
echo "typed answers: $((SECONDS - started)) s"
[ ${#failures[@]} = 0 ] || desk_fail "${#failures[@]} cases lost or invented answers: ${failures[*]}"
echo "typed answers: every line typed at every pace answered whole or not at all, and play answered nothing"
