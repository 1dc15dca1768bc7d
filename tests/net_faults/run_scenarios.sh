#!/usr/bin/env bash
# Plays multiplayer games of a host and three members, each a zentrovex
# process, through faults. Every member sends a guaranteed block to
# everybody every 250 ms; every machine, the host included, counts what
# arrives from each member: once, in order, without a gap. Each scenario
# says what it expects: how many members take over, whether anybody may
# find the game lost (only where a whole part of the game could not be
# kept), and that nobody sees a player leave where nobody leaves. Each
# first makes sure its fault happened (the pause was a pause, the flood
# reached the ports at the rate it prints). The scenarios:
#   crash      the host killed outright: exactly one member takes over
#   stall      a member stopped for 9 s while the host leaves: taken back
#   flood      garbage datagrams at every machine: nobody takes over
#   pN, pNh    the host stopped N seconds (1.5, 3, 10, 14), with "h" one
#              forged "I host now" hint at every member meanwhile; pauses
#              shorter than the link's 5 s wait cost no host, longer ones
#              exactly one takeover
#   ftphint    one hint while the host is inside a 2 s `ftp get file`:
#              nobody takes over
#   connflood  forged connection requests from 200 ports of another
#              address at every machine while the host crashes: one host
#              for all with every block (a member the flood held back may
#              take over too, if the parts then find each other), or every
#              member finds the game lost
#   joinflood  the same flood at the host's port while the members join:
#              each joins, nobody takes over
#   mstop      a member stopped for 10 s while the host stays: nobody takes
#              over, and the member comes back to its host
#   mstop20    a member stopped for 20 s: within 2 s of running again it has
#              every block sent to it meanwhile and its own arrive on time;
#              mstop3 the same after 3 s, with blocks of 16,000 bytes
#   byeall     forged transport goodbyes at every member as though the host
#              left, byehost at the host as though member 2 left, byeone at
#              member 2 alone as though the host left: nothing changes
#   ftpshort   an FTP server that closes the data connection early: a whole
#              and a stepwise download each fail at once, naming the bytes,
#              in a built game and (the whole one) under `zentrovex run`
#   ftpstop    SIGTERM while `ftp connect` waits for a silent server: the
#              run ends within 0.5 s, without an FTP warning
#   ftpstall   SIGTERM while a whole download waits for a server that
#              stopped sending: the download's cause is the stop signal
# Each scenario runs in a private network namespace of its own, three for
# each processor at once, but the floods, which come after them. Where none
# can be made, crash and stall run one after the other on this machine's
# loopback address, and the test reports itself skipped (77) if they pass.
#   run_scenarios.sh ZENTROVEX SOURCE_DIR WORK_DIR [SCENARIO...]
# For measuring: ZV_NET_FAULTS_RATE sets the connection floods' rate
# (20,000 a second), ZV_NET_FAULTS_SIZE the members' block size,
# ZV_NET_FAULTS_AT_ONCE how many scenarios run at a time, and ZV_NET_WIRE
# the wire version netpoke.py speaks (an older build's).
set -u
zv=$1 src=$2 work=$3
shift 3
# In three waves: the connection floods need a processor's share to keep
# their rate, and the garbage flood takes every processor it can get,
# which would starve the others' machines into real silences.
waves=("crash stall p1.5 p1.5h p3 p3h p10 p10h p14 p14h ftphint mstop mstop3 mstop20 byeall byehost byeone ftpshort ftpstop ftpstall"
  "connflood joinflood" "flood")
[ $# -gt 0 ] && waves=("$*")
alone=${ZV_NET_FAULTS_ALONE:-}
# A flood comes from another address than the game's, as from another machine.
flooder=127.0.0.2 flood_rate=${ZV_NET_FAULTS_RATE:-20000}

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

# The UDP ports the given processes have open.
ports_of() {  # PID...
  local pid
  for pid in "$@"; do
    ss -Huanp 2>/dev/null | awk -v who="pid=$pid," 'index($0, who) { n = split($4, a, ":"); print a[n] }'
  done | sort -u
}
game_ports() { ports_of "$hp" "${mp[@]}"; }
member_ports() { ports_of "${mp[@]}"; }

# A flood of forged connection requests from 200 ports of the flooder's
# address, started in the background; flood_done waits for it and checks
# that what it sent reached open ports (the system's own count).
start_connect_flood() {  # SECONDS RATE PORT...
  read -r udp_in udp_noport udp_full < <(python3 "$src/netpoke.py" udp)
  python3 "$src/netpoke.py" connect "$1" "$2" "$flooder" 200 "${@:3}" > connect.txt &
  flood_pid=$!
}
flood_done() {  # WHAT
  wait "$flood_pid"
  local rate sent granted in noport full
  read -r rate sent granted < connect.txt
  read -r in noport full < <(python3 "$src/netpoke.py" udp)
  # The answers to the requests let in reached the flooder's own ports.
  local reached=$(( in - udp_in + full - udp_full - granted )) astray=$(( noport - udp_noport ))
  echo "$s: $rate forged connection requests a second from 200 ports of $flooder $1 ($sent sent, $granted let in; $reached datagrams reached open ports, $astray none)"
  # A datagram counts as arrived once a program reads it: a starved member
  # reads late, and what it never read before the end is not counted.
  if [ "${rate:-0}" -lt $(( flood_rate * 8 / 10 )) ] || [ "$reached" -lt $(( sent * 9 / 10 )) ] ||
    [ "$astray" -gt $(( sent / 100 )) ]; then
    echo "$s: the flood did not reach the game"
    failed=1
  fi
}

# Whether one machine's line is whole: every block of every other member
# once, no gap, the game kept.
whole() {  # LINE SELF BLOCKS
  local line=$1 self=$2 blocks=$3 other
  case $line in *"lost 0"*"gaps 0"*) ;; *) return 1 ;; esac
  for other in 1 2 3; do
    [ "$other" = "$self" ] && continue
    case $line in *"from$other $blocks twice 0"*) ;; *) return 1 ;; esac
  done
}

# A number that follows WORD in LINE.
field() {  # LINE WORD
  awk -v w="$2" '{ for (i = 1; i < NF; i++) if ($i == w) { print $(i + 1); exit } }' <<< "$1"
}

# From the arrivals of WHO: the latest arrival of a block sent before
# the moment AT, and the longest any block from SENDER (0: anybody) sent
# from AT on took, both in ms after AT. The arrivals hold "resumed T" and
# then "sender block sent received".
late_figures() {  # WHO AT SENDER
  awk -v at="$2" -v from="$3" '
    { sub(/\r$/, "") }
    $1 == "resumed" { next }
    $3 < at && $4 - at > backlog { backlog = $4 - at }
    $3 >= at && (from == 0 || $1 == from) && $4 - $3 > late { late = $4 - $3 }
    END { printf "%d %d\n", backlog, late }' "$1.arrivals"
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
# of the failed whole download and so can say why it failed, and under
# `zentrovex run`, whose warning ends the run and must say the same.
run_ftp() {
  local s=$1 d="$work/$1" fp= pp line
  rm -rf "$d" && mkdir -p "$d" && cp "$src/ftpfaults.kqa" "$d" && cd "$d" || return 1
  local mode=short
  [ "$s" = ftpstop ] && mode=silent
  [ "$s" = ftpstall ] && mode=stall
  start_ftp "$mode" || { echo "$s: the FTP server did not start"; return 1; }
  local failed=0
  if [ "$s" = ftpstop ] || [ "$s" = ftpstall ]; then
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
    if [ "$s" = ftpstall ]; then
      line=$(tr -d '\r\0' < ftp.txt 2>/dev/null)
      echo "$s: $line"
      case $line in "whole "*" ms: The program is ending (1)"*) ;; *) failed=1 ;; esac
    fi
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
    rm -f ftp.txt started.txt whole.bin steps.bin
    timeout 60 "$zv" run --headless ftpfaults.kqa > run.log 2>&1
    line=$(tr -d '\r\0' < run.log)
    echo "$s: under zentrovex run: $line"
    case $line in *'Could not download the file "f.bin": the download broke off after 5000 bytes.'*) ;; *) failed=1 ;; esac
  fi
  kill "$fp"
  [ "$failed" = 0 ] && echo "$s: passed"
  return "$failed"
}

run_one() {
  local s=$1 d="$work/$1" hp i m blocks=60 pause= hint= fp= ftp_ms= hint_pid= late_hint= flood_pid=
  local udp_in= udp_noport= udp_full= failed=0
  local -a mp
  case $s in
    p*) pause=${s#p}; pause=${pause%h}; [ "${s%h}" != "$s" ] && hint=1; blocks=100 ;;
    ftphint) blocks=40 ;;
    mstop[0-9]*) blocks=130 ;;
  esac
  rm -rf "$d" && mkdir -p "$d" && cp "$src/host.kqa" "$src/member.kqa" "$d" && cd "$d" || return 1
  echo "$blocks" > blocks.txt
  # Large blocks fill a link's window: its speed shows.
  local size=${ZV_NET_FAULTS_SIZE:-}
  [ "$s" = mstop3 ] && size=16000
  [ -n "$size" ] && echo "$size" > size.txt
  if [ "$s" = ftphint ]; then
    start_ftp slow || { echo "$s: the FTP server did not start"; return 1; }
  fi
  "$zv" run --headless host.kqa > host.log 2>&1 &
  hp=$!
  wait_for hosting.txt 20 || { echo "$s: the host did not start"; return 1; }
  if [ "$s" = joinflood ]; then
    start_connect_flood 8 "$flood_rate" 30620
    sleep 1
  fi
  for i in 1 2 3; do
    "$zv" run --headless member.kqa "$i" > "m$i.log" 2>&1 &
    mp[$i]=$!
    if ! wait_for "m$i.joined" 20; then
      echo "$s: member $i did not join"
      [ -n "$flood_pid" ] && flood_done "at the host's port while the members joined"
      return 1
    fi
  done
  for i in 1 2 3; do
    if ! wait_for "m$i.seen" 20; then
      echo "$s: member $i did not hear of every player"
      return 1
    fi
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
      echo "$s: flooding ports" $ports
      read -r udp_in udp_noport udp_full < <(python3 "$src/netpoke.py" udp)
      local -a fl
      for i in 1 2 3; do python3 "$src/flood.py" 10 $ports > "flood$i.txt" & fl[$i]=$!; done
      wait "${fl[@]}"
      local rate=$(( $(cat flood1.txt) + $(cat flood2.txt) + $(cat flood3.txt) )) in noport full
      read -r in noport full < <(python3 "$src/netpoke.py" udp)
      echo "$s: $rate garbage datagrams a second for 10 s; $(( in - udp_in + full - udp_full )) reached open ports, $(( noport - udp_noport )) none"
      if [ "$(wc -w <<< "$ports")" != 4 ] || [ $(( in - udp_in + full - udp_full )) -lt $(( rate * 9 )) ] ||
        [ $(( noport - udp_noport )) -gt $(( rate / 10 )) ]; then
        echo "$s: the flood did not reach the game"
        failed=1
      fi
      sleep 0.5
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
      flood_done "at the host's port while the members joined"
      ;;
    mstop*)
      kill -STOP "${mp[2]}"
      local stop=${s#mstop}
      sleep "${stop:-10}"
      kill -CONT "${mp[2]}"
      ;;
    connflood)
      local ports; ports=$(member_ports)
      start_connect_flood 12 "$flood_rate" $ports
      sleep 2
      kill -KILL "$hp"
      flood_done "for 12 s at ports $(echo $ports)"
      ;;
    byeall | byehost | byeone)
      local from=30620 to
      case $s in
        byeall) to=$(member_ports) ;;
        byehost) from=$(ports_of "${mp[2]}"); to=30620 ;;
        byeone) to=$(ports_of "${mp[2]}") ;;
      esac
      read -r udp_in udp_noport udp_full < <(python3 "$src/netpoke.py" udp)
      local said; said=$(python3 "$src/netpoke.py" goodbye $from $to)
      echo "$s: $said"
      local in noport full
      read -r in noport full < <(python3 "$src/netpoke.py" udp)
      # A datagram of the game's own may meet a closed port meanwhile on a
      # loaded machine; goodbyes that missed the game would be most of them.
      if [ -z "$from" ] || [ -z "$to" ] || [ $(( noport - udp_noport )) -gt $(( ${said%% *} / 10 )) ]; then
        echo "$s: the goodbyes did not reach the game"
        failed=1
      fi
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
  local hosting=0 lost=0 line who
  # The hint must have come while the pause or the download held the host.
  if [ "$s" = ftphint ] && ! [ "${ftp_ms:-0}" -ge 1900 ] 2>/dev/null; then
    echo "$s: the download did not hold the host for 2 s"
    failed=1
  fi
  if [ -n "$late_hint" ]; then
    echo "$s: the hint did not come while the host was held"
    failed=1
  fi
  # What each scenario expects: how many members take over; whether a
  # member may find the game lost (only all of them, with the host gone
  # mid-flood); whether a player may be seen to leave or come.
  local want=0 may_lose= quiet=1 held= who_held=host
  case $s in
    crash | stall) want=1; quiet= ;;
    p10* | p14*) want=1; quiet= ;;
    connflood) want=1; may_lose=all; quiet= ;;
  esac
  case $s in
    p*) held=$(awk -v s="$pause" 'BEGIN { print int(s * 1000) - 50 }') ;;
    stall) held=8950; who_held=m2 ;;
    mstop) held=9950; who_held=m2 ;;
    mstop[0-9]*) held=$(( ${s#mstop} * 1000 - 50 )); who_held=m2 ;;
  esac
  local -A lines
  for who in host m1 m2 m3; do
    [ "$who" = host ] && case $s in crash | connflood | stall) continue ;; esac
    line=$(tr -d '\r\0' < "$who.txt" 2>/dev/null)
    lines[$who]=$line
    echo "$s: ${line:-$who wrote nothing}"
    case $line in *"lost 1"*) lost=$((lost + 1)) ;; esac
    case $line in *"hosting 0"*) ;; *"hosting "[1-9]*) hosting=$((hosting + 1)) ;; esac
  done
  if [ -n "$held" ] && ! [ "$(field "${lines[$who_held]}" still)" -ge "$held" ] 2>/dev/null; then
    echo "$s: $who_held was not held still for $(( held + 50 )) ms"
    failed=1
  fi
  if [ "$may_lose" = all ] && [ "$lost" = 3 ]; then
    want=0
  elif [ "$s" = connflood ] && [ "$hosting" -gt 1 ] && [ "$lost" = 0 ]; then
    # A member the flood kept from hearing the first to take over may take
    # over too; the split must end: every block still reaches everybody
    # (checked below), which only one game for all can do.
    echo "$s: $hosting members took over; the parts must find each other"
    want=$hosting
  elif [ "$lost" != 0 ]; then
    echo "$s: $lost machines found the game lost, where none may"
    failed=1
  fi
  if [ "$hosting" != "$want" ]; then
    echo "$s: $hosting members took over, not $want"
    failed=1
  fi
  for who in "${!lines[@]}"; do
    line=${lines[$who]}
    [ "$lost" = 3 ] && [ "$may_lose" = all ] && continue
    if ! whole "$line" "${who#m}" "$blocks"; then
      echo "$s: $who did not get every block once, in order"
      failed=1
    fi
    if [ -n "$quiet" ] && ! case $line in *" left 0 came 0 "*) ;; *) false ;; esac then
      echo "$s: $who saw players leave or come"
      failed=1
    fi
  done
  if [ "${s#mstop}" != "$s" ] && [ -n "${s#mstop}" ]; then
    # Member 2 ran again at the moment it noted: what was sent to it
    # meanwhile must be there within 2 s, and from 2 s on its own blocks
    # and those to it must arrive on time.
    local resumed backlog late worst=0
    resumed=$(awk '$1 == "resumed" { print $2 + 0 }' m2.arrivals)
    read -r backlog late < <(late_figures m2 "$(( resumed + 2000 ))" 0)
    read -r backlog _ < <(late_figures m2 "$resumed" 0)
    echo "$s: m2 had the blocks sent while it was stopped $backlog ms after it ran again; later blocks to it took up to $late ms"
    [ "$backlog" -le 2000 ] && [ "$late" -le 1000 ] || failed=1
    for who in host m1 m3; do
      read -r _ late < <(late_figures "$who" "$(( resumed + 2000 ))" 2)
      [ "$late" -gt "$worst" ] && worst=$late
    done
    echo "$s: from 2 s after it ran again, m2's own blocks took up to $worst ms"
    [ "$worst" -le 1000 ] || failed=1
  fi
  [ "$failed" = 0 ] && echo "$s: passed $(( $(now_ms) - fault_at )) ms after the fault"
  return "$failed"
}

if [ -n "$alone" ]; then
  # What a scenario started ends with it, also where it gave up half-way.
  trap 'kill -KILL $(jobs -p) 2>/dev/null' EXIT
  case $alone in ftp*) [ "$alone" != ftphint ] && { run_ftp "$alone"; exit $?; } ;; esac
  run_one "$alone"
  exit $?
fi

mkdir -p "$work"
status=0
# All of a wave at once would have a small machine's load decide the
# scenarios' timing (a block every 250 ms, a backlog within 2 s): at most
# three for each processor run at a time, the next starting as one ends.
at_once=${ZV_NET_FAULTS_AT_ONCE:-$(( $(nproc) * 3 ))}
if unshare -n true 2>/dev/null && command -v ip > /dev/null; then
  for scenarios in "${waves[@]}"; do
    for s in $scenarios; do
      while [ "$(jobs -rp | wc -l)" -ge "$at_once" ]; do wait -n; done
      (
        ZV_NET_FAULTS_ALONE=$s unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$0" "$zv" "$src" "$work" \
          > "$work/$s.log" 2>&1
        echo $? > "$work/$s.status"
      ) &
    done
    wait
    for s in $scenarios; do
      cat "$work/$s.log"
      [ "$(cat "$work/$s.status")" = 0 ] || status=1
    done
  done
else
  echo "no private network namespace (unshare -n): only crash and stall can run, on this machine's loopback address"
  for s in crash stall; do ZV_NET_FAULTS_ALONE=$s "$0" "$zv" "$src" "$work" || status=1; done
  # The rest did not run: not a pass.
  [ "$status" = 0 ] && status=77
fi
exit $status
