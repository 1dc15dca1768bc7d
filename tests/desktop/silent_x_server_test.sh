#!/usr/bin/env bash
# An X server that stops answering (stopped with SIGSTOP here) holds a
# run's start for ever: Xlib waits for its answers without a bound, and a
# stop signal is noted only between two waits. The run ends all the same,
# and the editor keeps the program of each tab under a name of its own:
#
# case      the server stopped              then                     the run ends
# silent    before the run starts           nothing                  status 3 naming the display, once 10 s of silence have passed
#           (the display named :N, then unix/:N)
# term      before the run starts           SIGTERM                  by SIGTERM (143), saying why
#           (the display named by this machine's name, HOST:N, over TCP)
# int       before the run starts           SIGINT                   by SIGINT (130)
# window    once the run's window shows     SIGTERM                  by SIGTERM
# gone      killed once the window shows    nothing                  status 1 saying the display is lost
# slow      before the run starts           SIGCONT 5 s later        it runs and ends by itself (status 0): a slow server is not cut
# editor    once each editor tab holds one  SIGTERM                  by SIGTERM about a second later, both programs kept first
#           (the display named unix/:N)
# lost      killed, not stopped, as editor  nothing                  status 1 saying the display is lost, both programs kept first
# reset     never; started without -noreset, asking for a cookie as xvfb-run's does, no other client
#                                           a run started 20 times   each by itself (status 0), the server never starting over under its start
#
# In each the private temporary folder is gone. The servers are the test's
# own, so that stopping one stops nobody else's.
set -euo pipefail
zentrovex=$1
source "$(dirname "$0")/../support/desktop.sh"
desk_init
# The system's Python: a python3 first on the PATH may be a version
# manager's shim, which costs a second of processor at every start.
for tool in Xvfb /usr/bin/python3; do
  command -v $tool > /dev/null || { echo "SKIP: $tool is not installed (Debian packages xvfb, python3)"; exit 77; }
done
cd "$DESK_WORK"
printf 'do\r\nsync\r\nloop\r\n' > forever.kqa
printf 'wait 500\r\nend\r\n' > brief.kqa

server=
stop_server() {
  if [ -n "$server" ]; then
    kill -CONT "$server" 2> /dev/null || true
    kill "$server" 2> /dev/null || true
    wait "$server" 2> /dev/null || true
  fi
  server=
}
trap 'stop_server; desk_cleanup' EXIT

# A server of the test's own, -noreset unless other options are given (such
# as -listen tcp): sets $server and $display.
start_server() {
  rm -f displayfd
  Xvfb -displayfd 3 -nolisten tcp "${@:--noreset}" -screen 0 800x600x24 3> displayfd 2> xvfb.log &
  server=$!
  desk_until grep -qs . displayfd || desk_fail "Xvfb did not start: $(cat xvfb.log)"
  display=":$(head -n 1 displayfd)"
}

ours() { ls -d "$TMPDIR"/zentrovex-* 2> /dev/null || true; }

# The run ended with `status`, said `message` and left no temporary folder.
check_end() {
  local what=$1 status=$2 message=$3
  desk_ended || desk_fail "$what: the run still waits on the silent server"
  [ "$DESK_STATUS" = "$status" ] || desk_fail "$what: the run ended with status $DESK_STATUS, not $status"
  grep -qF "$message" err.txt || desk_fail "$what: the run did not say \"$message\""
  [ -z "$(ours)" ] || desk_fail "$what: the run left $(ours) behind"
  echo "ok   $what"
}

# Whether the started run catches signal number $1.
catches() { (((0x$(awk '/^SigCgt:/ { print $2 }' "/proc/$DESK_PID/status" 2> /dev/null || echo 0) >> ($1 - 1)) & 1)); }

# The display's name: :N, or with $form before it (unix/), or $host:N.
run_on_server() { DISPLAY=$(named) desk_start "$zentrovex" run "$@"; }
named() { if [ -n "${host:-}" ]; then echo "$host$display"; else echo "${form:-}$display"; fi; }
skipped=

# silent: the bound is 10 s of silence, measured from the run's start.
for form in "" unix/; do
  start_server
  kill -STOP "$server"
  started=$SECONDS
  run_on_server forever.kqa
  DESK_TIMEOUT=$((10 + DESK_ANSWER_SECONDS)) check_end "silent $(named)" 3 "cannot open a window on DISPLAY=$(named): the X server gave no answer for 10 s"
  [ $((SECONDS - started)) -ge 10 ] || desk_fail "silent: the run ended after $((SECONDS - started)) s, before 10 s of silence"
  stop_server
done
form=

for signal in TERM INT; do
  host=
  if [ $signal = TERM ] && getent hosts "$(hostname)" > /dev/null; then
    host=$(hostname)
    start_server -noreset -listen tcp
  elif [ $signal = TERM ]; then
    skipped="the term row on HOST:N: this machine's name, $(hostname), is not found"
    continue
  else
    start_server
  fi
  kill -STOP "$server"
  run_on_server forever.kqa
  # Well into the wait for the server (a signal before the start is noted
  # as any other once the run catches it).
  sleep 1
  desk_until catches "$(kill -l "$signal")" || desk_fail "${signal,,}: the run never caught SIG$signal"
  kill -"$signal" "$DESK_PID"
  check_end "${signal,,} $(named)" $((128 + $(kill -l "$signal"))) "stopped by SIG$signal while the X server on DISPLAY=$(named) gave no answer"
  stop_server
done
host=

# window: the server stops once the window exists, while the display
# starts or the program runs.
start_server
run_on_server forever.kqa
DISPLAY=$display desk_until eval '[ -n "$(xdotool search --pid "$DESK_PID" 2> /dev/null)" ]' ||
  desk_fail "window: the run made no window"
kill -STOP "$server"
kill -TERM "$DESK_PID"
check_end window 143 "stopped by SIGTERM while the X server on DISPLAY=$display gave no answer"
stop_server

# gone: the server ends under a run's window.
start_server
run_on_server forever.kqa
DISPLAY=$display desk_until eval '[ -n "$(xdotool search --pid "$DESK_PID" 2> /dev/null)" ]' ||
  desk_fail "gone: the run made no window"
kill "$server"
wait "$server" 2> /dev/null || true
server=
check_end gone 1 "the display is lost: the X server on DISPLAY=$display closed the connection"

# slow: 5 s without an answer is no reason to give up.
start_server
kill -STOP "$server"
run_on_server brief.kqa
sleep 5
kill -CONT "$server"
desk_ended || desk_fail "slow: the run did not end once the server answered again"
[ "$DESK_STATUS" = 0 ] || desk_fail "slow: the run ended with status $DESK_STATUS: $(cat err.txt)"
echo "ok   slow"
stop_server
# The editor on a server of its own, an unnamed program typed into each tab;
# the test's tools go back to the test's server (the stopped one never answers).
edit_on_server() {
  local desktop=$DISPLAY
  start_server
  DISPLAY=$display
  DISPLAY=$(named) desk_start "$zentrovex" edit
  desk_window Zentrovex
  # A bare server gives the window the focus late, and what is typed before
  # it is lost: F1 until the help shows, Escape until it is gone.
  desk_press_until F1 rows_of_help && desk_press_until Escape rows_of_text || desk_fail "$1: the editor took no key"
  desk_type "print 1"
  desk_key ctrl+2
  desk_type "print 2"
  desk_key shift+Home
  # Tab 2's line selected: every key before it was taken.
  desk_wait_count 3C6EB4 100 590x13+20+43 || desk_fail "$1: the editor did not take the typing"
  DISPLAY=$desktop
}
rows_of() { desk_grab "$DESK_WORK/grab.png" && [ "$(desk_count "$DESK_WORK/grab.png" 14203A 590x26+20+43)" "$@" ]; }
rows_of_help() { rows_of -lt 1000; }
rows_of_text() { rows_of -eq 15340; }
kept_both() {
  [ "$(cat untitled.kqa.autosave)" = "$(printf 'print 1\r')" ] && [ "$(cat untitled.kqa.autosave-2)" = "$(printf 'print 2\r')" ] ||
    desk_fail "$1: the two programs were not kept: $(ls ./*.autosave*)"
  rm untitled.kqa.autosave*
}

form=unix/
edit_on_server editor
kill -STOP "$server"
kill -TERM "$DESK_PID"
check_end "editor $(named)" 143 "stopped by SIGTERM while the X server on DISPLAY=$(named) gave no answer"
kept_both editor
stop_server
form=

edit_on_server lost
kill "$server"
wait "$server" 2> /dev/null || true
server=
check_end lost 1 "the display is lost: the X server on DISPLAY=$display closed the connection"
kept_both lost
stop_server

# reset: a server starts over when its last client leaves, dropping every
# connection being made, such as a sentinel's that never says who it is:
# that tells when it started over (at each run's end, never before the run
# is up). Every other run names the display unix/:N, the watch's probe
# keeping the server under both names.
printf 'make file "up"\r\nwhile file exists("go") = 0\r\nsync\r\nendwhile\r\n' > up.kqa
printf '\377\377\0\0\0\0\0\022MIT-MAGIC-COOKIE-1\0\020' > cookie
head -c 16 /dev/urandom >> cookie
start_server -auth cookie
for run in $(seq 20); do
  rm -f up go sentinel.txt
  /usr/bin/python3 -c 'import socket, sys; s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); print("made", flush=True)
s.recv(1); print("dropped", flush=True)' "/tmp/.X11-unix/X${display#:}" > sentinel.txt &
  sentinel=$!
  desk_until grep -qs made sentinel.txt || desk_fail "reset: the sentinel could not connect"
  name=$display
  [ $((run % 2)) = 1 ] || name=unix/$display
  XAUTHORITY=cookie DISPLAY=$name desk_start "$zentrovex" run up.kqa
  desk_until eval '[ -e up ] || ! kill -0 "$DESK_PID" 2> /dev/null' || desk_fail "reset: start $run did not come up"
  ! grep -q dropped sentinel.txt || desk_fail "reset: start $run made the server start over under it"
  touch go
  desk_ended || desk_fail "reset: run $run did not end"
  [ "$DESK_STATUS" = 0 ] || desk_fail "reset: start $run ended with status $DESK_STATUS: $(cat err.txt)"
  # The run's end makes the server start over; the next sentinel waits for it.
  desk_until grep -qs dropped sentinel.txt || desk_fail "reset: the server did not start over at the run's end"
  wait "$sentinel" 2> /dev/null || true
done
echo "ok   reset"
stop_server
if [ -n "$skipped" ]; then
  echo "SKIP: $skipped"
  exit 77
fi
echo "silent X server: a run whose server gives no answer, by any name of its display, ends at 10 s with status 3, or at once by a stop signal; the editor keeps its programs first; no start makes a server start over"
