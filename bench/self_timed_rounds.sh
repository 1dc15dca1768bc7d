# Sourced by the benchmarks whose BASIC program times itself and prints one
# line a case: NAME COUNT VALUE. They set `root` (the source tree) first.
#
#   self_timed_start ZENTROVEX...
# takes the binaries given (default: the tree's build/zentrovex), by their
# whole paths, as `binaries`, and makes a folder of the run's own, removed
# at its end, the current folder.
self_timed_start() {
  binaries=("$@")
  [ ${#binaries[@]} -gt 0 ] || binaries=("$root/build/zentrovex")
  local i
  for i in "${!binaries[@]}"; do binaries[i]=$(readlink -f "${binaries[i]}"); done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cd "$work"
}

#   self_timed_rounds PROGRAM ROUNDS ZENTROVEX...
# runs PROGRAM headless (in the current folder) with each binary in turn,
# ROUNDS times over, so that a machine's load falls on all of them alike,
# and prints for each binary and case, in the binaries' order and the cases'
# natural order: ZENTROVEX NAME COUNT MEDIAN-VALUE.
self_timed_rounds() {
  local program=$1 rounds=$2 binary round i
  shift 2
  local binaries=("$@")
  for ((round = 0; round < rounds; round++)); do
    for i in "${!binaries[@]}"; do
      "${binaries[i]}" run --headless "$program" >> "results.$i"
    done
  done
  for i in "${!binaries[@]}"; do
    sort -k1,1 -k3,3g "results.$i" |
      awk -v binary="${binaries[i]}" '
        { values[$1] = values[$1] " " $3; counts[$1] = $2 }
        END {
          for (name in values) {
            n = split(substr(values[name], 2), v, " ")
            print binary, name, counts[name], v[int((n + 1) / 2)]
          }
        }' | sort -V -k2,2
    rm -f "results.$i"
  done
}
