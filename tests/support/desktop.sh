# Helpers for tests that drive the system in a real window, as a user at
# the desktop would: start it, wait for its window, type and click with
# xdotool, read the picture back from the X server and look at its colours.
#
# Source this file from a test script that runs on an X server, usually with
# a window manager (zv_xvfb_wm_test in cmake/zentrovex.cmake does both). Everything
# waits for a condition rather than for a fixed time: an answer of the
# system (a window shown, a state the window manager took, a picture, a file
# the program wrote, its end). The system gives each at once, within a frame
# or a round trip to the X server; a run's start and its window take a
# second. A wait polls until its answer comes or DESK_ANSWER_SECONDS pass:
# ten times the slowest of the answers this test has seen and three starts
# of the executable (timed at the first desk_start), 10 s at least, since a
# loaded machine slows them alike (35 s, the slowest answer seen, came with
# six jobs a processor). A lost answer fails its step then, saying what it
# waited for, not the whole test at its limit (ZV_WINDOW_TEST_SECONDS, which
# tests/support/with_window_manager.sh enforces: it finds a hang).
#
#   desk_init                 checks the tools (exit 77 without them), makes
#                             $DESK_WORK and cleans up on exit
#   desk_start CMD...         starts CMD in the background ($DESK_PID)
#   desk_window [TITLE]       waits for the started process's visible window,
#                             found by its process id, whatever its title
#                             (a program may change it); with TITLE, for its
#                             window of that exact title; sets $DESK_WINDOW
#   desk_until CMD...         runs CMD until it succeeds (false after
#                             DESK_ANSWER_SECONDS; with DESK_TIMEOUT=N set for
#                             the call, after N seconds)
#   desk_key KEY...           xdotool key names (ctrl+s, F5, Return) to the focus
#   desk_key_repeat on|off    the X server's key repeat: off unless a test
#                             tests repeat, since a key held past the
#                             repeat's delay on a loaded machine repeats
#   desk_press KEY            one key held for a moment, as fingers do
#   desk_press_until KEY CMD...   presses KEY until CMD succeeds: a program
#                             that lags past the key's release misses it
#   desk_type TEXT            types TEXT; each newline is the Return key
#   desk_click X Y            left click at a point of $DESK_WINDOW
#   desk_grab FILE [W H]      the window's picture; with W H, the picture of
#                             that size a full-screen run shows in it (scaled
#                             to fit, aspect kept), brought back to W x H
#   desk_colour FILE X Y      RRGGBB of one pixel
#   desk_count FILE RRGGBB [WxH+X+Y]   pixels of exactly that colour
#   desk_differs FILE FILE [WxH+X+Y]   pixels that differ between two grabs
#   desk_wait_count RRGGBB MIN [WxH+X+Y] [W H]   until a grab has MIN of them
#   desk_ended                until $DESK_PID has ended; sets $DESK_STATUS
#   desk_fail MESSAGE         fails the test, keeping a picture of the screen
#                             in $DESK_KEEP when that is set

. "$(dirname "${BASH_SOURCE[0]}")/naps.sh"

# The test began when this file was sourced; its waits end 15 s before its
# limit at the latest, which leaves the time to say what was awaited and
# keep the screen.
DESK_END=$((SECONDS + ${ZV_WINDOW_TEST_SECONDS:-120} - 15))
DESK_ANSWER_SECONDS=10
DESK_PACE_MS=
DESK_TIMEOUT=
DESK_PID=
DESK_WINDOW=
DESK_STATUS=

desk_init() {
  local tool
  for tool in xdotool xwininfo xprop import convert; do
    if ! command -v "$tool" > /dev/null; then
      echo "SKIP: $tool is not installed (Debian packages xdotool, x11-utils, imagemagick)"
      exit 77
    fi
  done
  DESK_WORK=$(mktemp -d)
  trap desk_cleanup EXIT
  # The run keeps its remembered settings, what the editor kept and its
  # work files to itself.
  export XDG_CONFIG_HOME="$DESK_WORK/config" XDG_STATE_HOME="$DESK_WORK/state"
  export TMPDIR="$DESK_WORK/tmp"
  mkdir -p "$TMPDIR"
  # The desktop-bus and graphics libraries SDL loads keep buffers until exit.
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
}

desk_cleanup() {
  if [ -n "$DESK_PID" ]; then
    kill -KILL "$DESK_PID" 2> /dev/null || true
    { wait "$DESK_PID"; } 2> /dev/null || true
  fi
  rm -rf "$DESK_WORK"
}

desk_fail() {
  echo "FAIL: $*" >&2
  if [ -n "${DESK_KEEP:-}" ]; then
    import -window root "$DESK_KEEP" 2> /dev/null && echo "the screen is in $DESK_KEEP" >&2
  fi
  if [ -s "$DESK_WORK/err.txt" ]; then
    echo "its standard error:" >&2
    cat "$DESK_WORK/err.txt" >&2
  fi
  exit 1
}

# An answer that took MS (or three starts that did): the waits' bound.
desk_pace() {
  [ "${DESK_PACE_MS:-0}" -ge "$1" ] || DESK_PACE_MS=$1
  DESK_ANSWER_SECONDS=$((DESK_PACE_MS < 1000 ? 10 : DESK_PACE_MS / 100))
}

desk_start() {
  local word at
  for word; do
    [ -z "$DESK_PACE_MS" ] && [ "${word##*/}" = zentrovex ] && [ -x "$word" ] || continue
    at=$(now_ms) && "$word" --version > /dev/null 2>&1 && desk_pace $((3 * ($(now_ms) - at)))
  done
  # In the background a shell would ignore SIGINT for the command.
  env --default-signal=INT "$@" > "$DESK_WORK/out.txt" 2> "$DESK_WORK/err.txt" &
  DESK_PID=$!
  DESK_WINDOW=
}

# The end of a wait begun now: DESK_TIMEOUT seconds from now where that is
# set, else DESK_ANSWER_SECONDS; DESK_END where that is sooner.
desk_deadline() {
  local end=$((SECONDS + ${DESK_TIMEOUT:-$DESK_ANSWER_SECONDS}))
  echo $((end < DESK_END ? end : DESK_END))
}

# A run that stopped on an error shows its error box until someone closes
# it: nothing awaited can come, so the test fails at once (unless it awaits
# the box: DESK_BOX_AWAITED).
desk_check_error_box() {
  [ -n "$DESK_PID" ] && [ -z "${DESK_BOX_AWAITED:-}" ] || return 0
  if xdotool search --all --onlyvisible --pid "$DESK_PID" --name '^Error In Program$' > /dev/null 2>&1; then
    desk_fail "the run stopped on an error"
  fi
}

# Polls twenty times a second, and looks for the error box every tenth
# time: each look starts a program.
desk_until() {
  local deadline polls=0 at
  deadline=$(desk_deadline) at=$(now_ms)
  until "$@"; do
    (( polls++ % 10 )) || desk_check_error_box
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
  [ -n "$DESK_TIMEOUT" ] || desk_pace $(($(now_ms) - at))
}

# The started process's visible window, whose name, as `read_name ID`
# prints it, is `title` where one is given; sets $DESK_WINDOW. A run that
# has ended fails the test at once: no window of it can come.
desk_find_window_where() {
  local read_name=$1 id
  for id in $(xdotool search --onlyvisible --pid "$DESK_PID" 2> /dev/null); do
    if [ $# -lt 2 ] || [ "$("$read_name" "$id" 2> /dev/null)" = "$2" ]; then
      DESK_WINDOW=$id
      return 0
    fi
  done
  kill -0 "$DESK_PID" 2> /dev/null || desk_fail "the run ended before its window${2+ \"$2\"} showed"
  return 1
}

desk_window_name() { xdotool getwindowname "$1"; }
desk_find_window() { desk_find_window_where desk_window_name "$@"; }

desk_window() {
  desk_until desk_find_window "$@" || desk_fail "no window${1+ titled \"$1\"} of the run showed"
  # Without a window manager nothing activates windows: the focus is set.
  xdotool windowactivate --sync "$DESK_WINDOW" 2> /dev/null || xdotool windowfocus "$DESK_WINDOW" 2> /dev/null || true
}

desk_key() { xdotool key --delay 30 "$@"; }

desk_key_repeat() { xset r "$1"; }

desk_press() {
  xdotool keydown "$1"
  sleep 0.1
  xdotool keyup "$1"
}

desk_press_until() {
  local key=$1 deadline
  deadline=$(desk_deadline)
  shift
  while [ $SECONDS -lt $deadline ]; do
    desk_press "$key"
    DESK_TIMEOUT=3 desk_until "$@" && return 0
  done
  return 1
}

desk_type() {
  local text=$1 line first=1
  while IFS= read -r line; do
    [ $first = 1 ] || xdotool key Return
    first=0
    [ -z "$line" ] || xdotool type --delay 15 -- "$line"
  done <<< "$text"
}

desk_click() { xdotool mousemove --window "$DESK_WINDOW" "$1" "$2" click 1; }

desk_grab() {
  local file=$1 width=${2:-} height=${3:-} window_width window_height shown_width shown_height
  import -window "$DESK_WINDOW" "$file" 2> /dev/null || return 1
  [ -n "$height" ] || return 0
  # Where the picture lies when scaled to fit with its aspect kept, as the
  # presenter places it (the bands beside it belong to no pixel of it).
  read -r window_width window_height < <(identify -format '%w %h' "$file")
  shown_width=$window_width
  shown_height=$((window_width * height / width))
  if [ "$shown_height" -gt "$window_height" ]; then
    shown_height=$window_height
    shown_width=$((window_height * width / height))
  fi
  # Nearest-neighbour scaling keeps every colour as it was drawn.
  convert "$file" -crop "${shown_width}x${shown_height}+$(((window_width - shown_width) / 2))+$(((window_height - shown_height) / 2))" \
    +repage -filter point -resize "${width}x${height}!" "$file"
}

desk_colour() { convert "$1" -crop "1x1+$2+$3" +repage -depth 8 -format '%[hex:p{0,0}]' info:; }

desk_count() {
  local region=()
  [ -n "${3:-}" ] && region=(-crop "$3" +repage)
  # From a million on, fx writes its numbers in the e notation.
  if [ "$2" = 000000 ]; then
    convert "$1" "${region[@]}" -alpha off -depth 8 -fill white +opaque "#000000" \
      -format '%[fx:round((1-mean)*w*h)]' info:
  else
    convert "$1" "${region[@]}" -alpha off -depth 8 -fill black +opaque "#$2" -fill white -opaque "#$2" \
      -format '%[fx:round(mean*w*h)]' info:
  fi | awk '{ printf "%d\n", $1 }'
}

desk_differs() {
  local region=()
  [ -n "${3:-}" ] && region=(-crop "$3" +repage)
  # compare says how many pixels differ and exits 1 when any do.
  convert "$1" "${region[@]}" "$DESK_WORK/a.png"
  convert "$2" "${region[@]}" "$DESK_WORK/b.png"
  compare -metric AE "$DESK_WORK/a.png" "$DESK_WORK/b.png" null: 2>&1 || true
}

desk_wait_count() {
  local colour=$1 least=$2 region=${3:-} size=("${@:4}")
  desk_has_count() {
    desk_grab "$DESK_WORK/grab.png" "${size[@]}" &&
      [ "$(desk_count "$DESK_WORK/grab.png" "$colour" "$region")" -ge "$least" ]
  }
  desk_until desk_has_count
}

desk_ended() {
  desk_until eval '! kill -0 "$DESK_PID" 2> /dev/null' || return 1
  DESK_STATUS=0
  { wait "$DESK_PID"; } 2> /dev/null || DESK_STATUS=$?
  DESK_PID=
}
