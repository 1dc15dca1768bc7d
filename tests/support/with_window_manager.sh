#!/usr/bin/env bash
# Runs a command on the X server in DISPLAY with openbox managing its
# windows, as on a user's desktop; stops the window manager afterwards.
# Exits 77 (skipped) when openbox is missing.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/naps.sh"
if ! command -v openbox > /dev/null || ! command -v xprop > /dev/null; then
  echo "SKIP: openbox or xprop is not installed (Debian packages openbox, x11-utils)"
  exit 77
fi
config=$(mktemp -d)
export XDG_CONFIG_HOME="$config"
openbox --sm-disable > "$config/openbox.log" 2>&1 &
manager=$!
stop() {
  kill "$manager" 2> /dev/null || true
  wait "$manager" 2> /dev/null || true
  rm -rf "$config"
}
trap stop EXIT
# The manager is in charge once it lists the windows it manages: it names
# itself on the root window earlier, before it answers for the windows
# (wmctrl and xdotool refuse to work with it until then). On a loaded
# machine that can take a while: only a hang reaches the limit.
ready=0
deadline=$((SECONDS + 120))
while [ $SECONDS -lt $deadline ]; do
  if timeout 5 xprop -root _NET_CLIENT_LIST 2> /dev/null | grep -q "window id"; then
    ready=1
    break
  fi
  kill -0 "$manager" 2> /dev/null || break
  sleep 0.05
done
if [ $ready = 0 ]; then
  echo "FAIL: the window manager did not start:" >&2
  cat "$config/openbox.log" >&2
  exit 1
fi

# Every process started under `pid`, depth first.
descendants() {
  local child
  for child in $(pgrep -P "$1"); do
    echo "$child"
    descendants "$child"
  done
}

# What each process of a hung test was doing, so that the hang can be
# found from the log: its command and, where gdb is installed, its stacks.
report_hang() {
  local pid
  for pid in "$1" $(descendants "$1"); do
    echo "-- $(ps -o pid=,stat=,time=,args= -p "$pid" 2> /dev/null)"
    case "$(ps -o comm= -p "$pid" 2> /dev/null)" in
      bash | sh | sleep | timeout) ;;
      *)
        if command -v gdb > /dev/null; then
          gdb -p "$pid" -batch -nx -ex 'thread apply all bt' 2> /dev/null | grep -E '^(#|Thread)' || true
        fi
        ;;
    esac
  done
}

# A window test takes a second or two (a scripted desktop session more:
# ZV_WINDOW_TEST_SECONDS gives its limit), many times that on a loaded
# machine: the limit only finds a hang.
limit=${ZV_WINDOW_TEST_SECONDS:-120}
# In the background a shell would ignore SIGINT and SIGQUIT for the test.
env --default-signal=INT,QUIT "$@" &
test_pid=$!
deadline=$((SECONDS + limit))
while kill -0 "$test_pid" 2> /dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
if kill -0 "$test_pid" 2> /dev/null; then
  echo "FAIL: still running after $limit s; its processes:"
  report_hang "$test_pid"
  kill -KILL $(descendants "$test_pid") "$test_pid" 2> /dev/null || true
  wait "$test_pid" 2> /dev/null || true
  exit 124
fi
set +e
wait "$test_pid"
status=$?
set -e
exit $status
