#!/usr/bin/env bash
# Plays multiplayer games of a host and three members, each a zentrovex
# process, through faults: the host killed outright (crash), a member
# stopped for 9 s while the host leaves (stall), and a flood of garbage
# datagrams at every machine (flood). Every member sends a guaranteed block
# every 250 ms and checks that every block of the others arrives, once, in
# order. Each scenario runs in a private network namespace of its own, all
# at once; where none can be made they run one after the other on this
# machine's loopback address (the flood then is left out).
#   run_scenarios.sh ZENTROVEX SOURCE_DIR WORK_DIR [SCENARIO]
set -u
zv=$1 src=$2 work=$3 only=${4:-}
scenarios="crash stall flood"

now_ms() { date +%s%3N; }

wait_for() {  # FILE SECONDS
  local end=$(( $(now_ms) + $2 * 1000 ))
  while [ ! -e "$1" ]; do
    [ "$(now_ms)" -ge "$end" ] && return 1
    sleep 0.05
  done
}

run_one() {
  local s=$1 d="$work/$1" hp i m
  local -a mp
  rm -rf "$d" && mkdir -p "$d" && cp "$src/host.kqa" "$src/member.kqa" "$d" && cd "$d" || return 1
  "$zv" run --headless host.kqa > host.log 2>&1 &
  hp=$!
  wait_for hosting.txt 20 || { echo "$s: the host did not start"; return 1; }
  for i in 1 2 3; do
    "$zv" run --headless member.kqa "$i" > "m$i.log" 2>&1 &
    mp[$i]=$!
    wait_for "m$i.joined" 20 || { echo "$s: member $i did not join"; return 1; }
  done
  touch go.txt
  sleep 3
  local fault_at; fault_at=$(now_ms)
  case $s in
    crash)
      kill -KILL "$hp"
      ;;
    stall)
      kill -STOP "${mp[2]}"
      touch leave.txt
      sleep 9
      kill -CONT "${mp[2]}"
      ;;
    flood)
      local ports
      ports=$(ss -Huanp 2>/dev/null | awk '/zentrovex/ { n = split($4, a, ":"); print a[n] }' | sort -u)
      [ -n "$ports" ] || ports=30620
      echo "$s: flooding ports" $ports
      for i in 1 2 3; do python3 "$src/flood.py" 10 $ports > "flood$i.txt" & done
      wait %4 %5 %6 2>/dev/null
      sleep 10.5
      echo "$s: $(( $(cat flood1.txt) + $(cat flood2.txt) + $(cat flood3.txt) )) garbage datagrams a second for 10 s"
      ;;
  esac
  if [ "$s" != flood ]; then
    for m in m1 m2 m3; do
      if wait_for "$m.hosting" 30; then
        echo "$s: $m took over $(( $(date +%s%3N -r "$m.hosting") - fault_at )) ms after the fault"
        break
      fi
    done
  fi
  for i in 1 2 3; do wait "${mp[$i]}"; done
  touch leave.txt
  wait "$hp" 2>/dev/null
  local failed=0 hosting=0 line
  for i in 1 2 3; do
    line=$(tr -d '\r\0' < "m$i.txt" 2>/dev/null)
    echo "$s: $line"
    case $line in
      *"lost 0"*"gaps 0") ;;
      *) failed=1 ;;
    esac
    for other in 1 2 3; do
      [ "$other" = "$i" ] && continue
      case $line in *"from$other 60 twice 0"*) ;; *) failed=1 ;; esac
    done
    case $line in *"hosting 1"*) hosting=$((hosting + 1)) ;; *"hosting 0"*) ;; *) failed=1 ;; esac
  done
  local want=1
  [ "$s" = flood ] && want=0
  if [ "$hosting" != "$want" ]; then echo "$s: $hosting members took over, not $want"; failed=1; fi
  [ "$failed" = 0 ] && echo "$s: passed $(( $(now_ms) - fault_at )) ms after the fault"
  return "$failed"
}

if [ -n "$only" ]; then
  run_one "$only"
  exit $?
fi

mkdir -p "$work"
status=0
if unshare -n true 2>/dev/null && command -v ip > /dev/null; then
  pids=()
  for s in $scenarios; do
    unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$0" "$zv" "$src" "$work" "$s" > "$work/$s.log" 2>&1 &
    pids+=($!)
  done
  i=0
  for s in $scenarios; do
    wait "${pids[$i]}" || status=1
    cat "$work/$s.log"
    i=$((i + 1))
  done
else
  echo "SKIP flood: no private network namespace (unshare -n) for it; crash and stall run one after the other"
  for s in crash stall; do run_one "$s" || status=1; done
fi
exit $status
