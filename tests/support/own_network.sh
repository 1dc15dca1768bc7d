#!/usr/bin/env bash
# Runs a command in a network namespace of its own, where only the loopback
# address is up, for tests that host games: a game is always hosted on the
# session port, UDP 30620, which a game being played on this machine or a
# second test run may hold, and then no game of the test could be hosted.
# Where no namespace can be made (no unshare, or not allowed), it says so
# and runs the command on this machine's network; while another program
# holds the port there, the test cannot run and is skipped (exit 77).
#   own_network.sh COMMAND...
set -euo pipefail
port=30620
in_namespace() {
  # Made first, so that a refused namespace is told from a failing command.
  unshare "$@" true 2> /dev/null || return 1
  exec unshare "$@" sh -c 'ip link set lo up && exec "$0" "$@"' "${command[@]}"
}
command=("$@")
if command -v ip > /dev/null; then
  in_namespace -n || true
  # Without root, a user namespace lends the rights to set its loopback up.
  in_namespace -rn || true
fi
echo "no network namespace of its own can be made (unshare -n): running on this machine's network"
if command -v ss > /dev/null && [ -n "$(ss -Huan "sport = :$port")" ]; then
  echo "SKIP: UDP port $port is in use by another program"
  exit 77
fi
exec "${command[@]}"
