#!/usr/bin/env bash
# Plays multiplayer games of a host and three members, each a zentrovex
# process, through faults. Every member sends a guaranteed block to
# everybody every 250 ms; every machine, the host included, counts what
# arrives from each member: once, in order, without a gap. A machine may
# instead find the game lost; nothing else passes. The scenarios:
#   crash      the host killed outright: exactly one member takes over
#   stall      a member stopped for 9 s while the host leaves: taken back
#   flood      garbage datagrams at every machine: nobody takes over
#   pN, pNh    the host stopped N seconds (1.5, 3, 10, 14), with "h" one
#              forged "I host now" hint at every member meanwhile; pauses
#              shorter than the link's 5 s wait cost no host
#   ftphint    one hint while the host is inside a 2 s `ftp get file`:
#              nobody takes over
#   connflood  forged connection requests at every port while the host
#              crashes: one host for all, or every part finds the game lost
#   joinflood  forged connection requests at the host's port while the
#              members join: each joins, nobody takes over
#   mstop      a member stopped for 10 s while the host stays: nobody takes
#              over, and the member comes back to its host
#   ftpshort   an FTP server that closes the data connection early: a whole
#              and a stepwise download each fail at once, naming the bytes
#   ftpstop    SIGTERM while `ftp connect` waits for a silent server: the
#              run ends within 0.5 s, without an FTP warning
# Each scenario runs in a private network namespace of its own, all at
# once but the flood, which comes after them; where none can be made,
# crash and stall run one after the other on this machine's loopback
# address and the rest are left out.
#   run_scenarios.sh ZENTROVEX SOURCE_DIR WORK_DIR [SCENARIO...]
set -u
zv=$1 src=$2 work=$3
shift 3
# In two waves: the garbage flood takes every processor it can get, which
# would starve the others' machines into real silences.
waves=("crash stall p1.5 p1.5h p3 p3h p10 p10h p14 p14h ftphint connflood joinflood mstop ftpshort ftpstop" "flood")
[ $# -gt 0 ] && waves=("$*")
alone=${ZV_NET_FAULTS_ALONE:-}

now_ms() { date +%s%3N; }

wait_for() {  # FILE SECONDS
  local end=$(( $(now_ms) + $2 * 1000 ))
  while [ ! -e "$1" ]; do
    [ "$(now_ms)" -ge "$end" ] && return 1
    sleep 0.05
  done
}

sleep_until() {  # EPOCH_MS
  local left=$(( $1 - $(now_ms) ))
  [ "$left" -gt 0 ] && sleep "$(awk -v ms="$left" 'BEGIN { printf "%.3f", ms / 1000 }')"
  return 0
}

# A hint at the members' ports, sent DELAY seconds after FILE appears by a
# process started now, so its start-up does not delay it.
start_hint() {  # FILE DELAY
  python3 "$src/netpoke.py" instance > instance.txt &&
    python3 "$src/netpoke.py" hint "$(cat instance.txt)" "$1" "$2" $(member_ports) > hint.txt 2>&1 &
  hint_pid=$!
  wait_for hint.ready 20
}

# Whether the hint went out before the epoch time given.
hinted_before() {  # EPOCH_MS
  wait "$hint_pid"
  local at; at=$(cut -d' ' -f1 hint.txt)
  [ -n "$at" ] && [ "$at" -lt "$1" ]
}

game_ports() {
  ss -Huanp 2>/dev/null | awk -v name="\"$(basename "$zv")\"" 'index($0, name) { n = split($4, a, ":"); print a[n] }' | sort -u
}
member_ports() { game_ports | grep -vx 30620; }

# Whether one machine's line is whole (every block of every other member
# once, no gap) or says the game was lost.
judge() {  # LINE SELF BLOCKS
  local line=$1 self=$2 blocks=$3 other
  case $line in *"lost 1"*) return 0 ;; *"lost 0"*"gaps 0") ;; *) return 1 ;; esac
  for other in 1 2 3; do
    [ "$other" = "$self" ] && continue
    case $line in *"from$other $blocks twice 0"*) ;; *) return 1 ;; esac
  done
}

# Until the scripted FTP server of this scenario listens.
start_ftp() {  # MODE
  python3 "$src/ftpfake.py" "$1" > fake.log 2>&1 &
  fp=$!
  local end=$(( $(now_ms) + 5000 ))
  until ss -Hltn 'sport = :21' 2>/dev/null | grep -q .; do
    [ "$(now_ms)" -ge "$end" ] && return 1
    sleep 0.05
  done
}

# The FTP scenarios: no game, one program against a faulty server. The
# short transfers run as a built game, which carries on past the warning
# of the failed whole download and so can say why it failed.
run_ftp() {
  local s=$1 d="$work/$1" fp= pp line
  rm -rf "$d" && mkdir -p "$d" && cp "$src/ftpfaults.kqa" "$d" && cd "$d" || return 1
  local mode=short
  [ "$s" = ftpstop ] && mode=silent
  start_ftp "$mode" || { echo "$s: the FTP server did not start"; return 1; }
  local failed=0
  if [ "$s" = ftpstop ]; then
    "$zv" run --headless ftpfaults.kqa > run.log 2>&1 &
    pp=$!
    wait_for started.txt 20 || { echo "$s: the program did not start"; kill "$fp"; return 1; }
    sleep 1
    local at; at=$(now_ms)
    kill -TERM "$pp"
    wait "$pp"
    local took=$(( $(now_ms) - at ))
    echo "$s: the run ended $took ms after SIGTERM"
    [ "$took" -le 500 ] || failed=1
    if grep -qi ftp run.log; then echo "$s: it said: $(cat run.log)"; failed=1; fi
  else
    "$zv" build ftpfaults.kqa -o ftpfaults > build.log 2>&1 || { echo "$s: $(cat build.log)"; kill "$fp"; return 1; }
    ZENTROVEX_HEADLESS=1 timeout 60 ./ftpfaults > run.log 2>&1
    line=$(tr -d '\r\0' < ftp.txt 2>/dev/null)
    echo "$s: $line"
    # Each fails within a second, naming the 5,000 bytes that came.
    case $line in
      "whole "[0-9]*" ms: "*"after 5000 bytes (1) | steps "[0-9]*" ms: "*"after 5000 bytes of 100000 (1)") ;;
      *) failed=1 ;;
    esac
    case $line in *" | steps "[0-9][0-9][0-9][0-9]*) failed=1 ;; esac
    case $line in "whole "[0-9][0-9][0-9][0-9]*) failed=1 ;; esac
  fi
  kill "$fp"
  [ "$failed" = 0 ] && echo "$s: passed"
  return "$failed"
}

run_one() {
  local s=$1 d="$work/$1" hp i m blocks=60 pause= hint= fp= ftp_ms= hint_pid= late_hint=
  local -a mp
  case $s in
    p*) pause=${s#p}; pause=${pause%h}; [ "${s%h}" != "$s" ] && hint=1; blocks=100 ;;
    ftphint) blocks=40 ;;
  esac
  rm -rf "$d" && mkdir -p "$d" && cp "$src/host.kqa" "$src/member.kqa" "$d" && cd "$d" || return 1
  echo "$blocks" > blocks.txt
  if [ "$s" = ftphint ]; then
    start_ftp slow || { echo "$s: the FTP server did not start"; return 1; }
  fi
  "$zv" run --headless host.kqa > host.log 2>&1 &
  hp=$!
  wait_for hosting.txt 20 || { echo "$s: the host did not start"; return 1; }
  local joinflood=
  if [ "$s" = joinflood ]; then
    python3 "$src/netpoke.py" connect 8 400 30620 > connect.txt &
    joinflood=$!
    sleep 1
  fi
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
      local ports; ports=$(game_ports)
      [ -n "$ports" ] || ports=30620
      echo "$s: flooding ports" $ports
      for i in 1 2 3; do python3 "$src/flood.py" 10 $ports > "flood$i.txt" & done
      wait %4 %5 %6 2>/dev/null
      sleep 10.5
      echo "$s: $(( $(cat flood1.txt) + $(cat flood2.txt) + $(cat flood3.txt) )) garbage datagrams a second for 10 s"
      ;;
    p*)
      [ -n "$hint" ] && start_hint stopped.txt 0.3
      kill -STOP "$hp"
      fault_at=$(now_ms)
      touch stopped.txt
      sleep_until $(( fault_at + $(awk -v s="$pause" 'BEGIN { print int(s * 1000) }') ))
      kill -CONT "$hp"
      [ -n "$hint" ] && ! hinted_before "$(now_ms)" && late_hint=1
      ;;
    ftphint)
      start_hint ftp.started 0.5
      touch ftp.txt
      if wait_for ftp.done 20; then
        ftp_ms=$(tr -d '\r\0' < ftp.done)
        echo "$s: the host's ftp get file took $ftp_ms ms"
        hinted_before "$(date +%s%3N -r ftp.done)" || late_hint=1
      fi
      ;;
    joinflood)
      wait "$joinflood"
      echo "$s: $(cat connect.txt) forged connection requests a second at the host's port while the members joined"
      ;;
    mstop)
      kill -STOP "${mp[2]}"
      sleep 10
      kill -CONT "${mp[2]}"
      ;;
    connflood)
      local ports; ports=$(game_ports)
      python3 "$src/netpoke.py" connect 12 400 $ports > connect.txt &
      sleep 2
      kill -KILL "$hp"
      wait %4 2>/dev/null
      echo "$s: $(cat connect.txt) forged connection requests a second for 12 s at ports" $ports
      ;;
  esac
  local took=
  for m in m1 m2 m3; do
    [ -e "$m.hosting" ] || continue
    took="$took $m"
    echo "$s: $m took over $(( $(date +%s%3N -r "$m.hosting") - fault_at )) ms after the fault"
  done
  for i in 1 2 3; do wait "${mp[$i]}"; done
  touch leave.txt
  wait "$hp" 2>/dev/null
  [ -n "$fp" ] && kill "$fp"
  local failed=0 hosting=0 lost=0 line who
  # The hint must have come while the pause or the download held the host.
  if [ "$s" = ftphint ] && ! [ "${ftp_ms:-0}" -ge 1900 ] 2>/dev/null; then
    echo "$s: the download did not hold the host for 2 s"
    failed=1
  fi
  if [ -n "$late_hint" ]; then
    echo "$s: the hint did not come while the host was held"
    failed=1
  fi
  for who in host m1 m2 m3; do
    [ "$who" = host ] && case $s in crash | connflood | stall) continue ;; esac
    line=$(tr -d '\r\0' < "$who.txt" 2>/dev/null)
    echo "$s: $line"
    judge "$line" "${who#m}" "$blocks" || failed=1
    case $line in *"lost 1"*) lost=$((lost + 1)) ;; esac
    case $line in *"hosting 0"*) ;; *"hosting "[1-9]*) hosting=$((hosting + 1)) ;; esac
  done
  # Who may take over: nobody while the host lives through a pause shorter
  # than the wait or a download; one member after a crash, unless every
  # part found the game lost.
  local want=
  case $s in
    flood | p1.5* | p3* | ftphint | joinflood | mstop) want=0 ;;
    crash | stall) want=1 ;;
    connflood) [ "$lost" != 3 ] && want=1 ;;
  esac
  if [ -n "$want" ] && [ "$hosting" != "$want" ]; then
    echo "$s: $hosting members took over, not $want"
    failed=1
  fi
  [ "$failed" = 0 ] && echo "$s: passed $(( $(now_ms) - fault_at )) ms after the fault"
  return "$failed"
}

if [ -n "$alone" ]; then
  # What a scenario started ends with it, also where it gave up half-way.
  trap 'kill -KILL $(jobs -p) 2>/dev/null' EXIT
  case $alone in ftpshort | ftpstop) run_ftp "$alone"; exit $? ;; esac
  run_one "$alone"
  exit $?
fi

mkdir -p "$work"
status=0
if unshare -n true 2>/dev/null && command -v ip > /dev/null; then
  for scenarios in "${waves[@]}"; do
    pids=()
    for s in $scenarios; do
      ZV_NET_FAULTS_ALONE=$s unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$0" "$zv" "$src" "$work" \
        > "$work/$s.log" 2>&1 &
      pids+=($!)
    done
    i=0
    for s in $scenarios; do
      wait "${pids[$i]}" || status=1
      cat "$work/$s.log"
      i=$((i + 1))
    done
  done
else
  echo "SKIP all but crash and stall: no private network namespace (unshare -n) for them"
  for s in crash stall; do ZV_NET_FAULTS_ALONE=$s "$0" "$zv" "$src" "$work" || status=1; done
fi
exit $status
