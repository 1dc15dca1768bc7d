#!/usr/bin/env bash
# scripts/test builds with the unity build on, scripts/build with it off:
# neither may leave the other's setting in a tree the other builds in; and
# scripts/build builds the executable alone, not every test and benchmark.
# The scripts run here with cmake and ctest standing in, which only note how
# each tree was configured and what was built, in a copy of scripts/ that
# has nothing to build.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$work/bin"
cat > "$work/bin/cmake" << 'TOOL'
#!/usr/bin/env bash
# Notes "TREE UNITY" for each configuration (-S ... -B TREE -D...), and
# "built TREE TARGET" for each build (--build TREE [--target TARGET]).
tree= unity=default built= target=all
while [ $# -gt 0 ]; do
  case "$1" in
    -B) tree=$2; shift ;;
    --build) built=$2; shift ;;
    --target) target=$2; shift ;;
    -DZV_UNITY=*) unity=${1#-DZV_UNITY=} ;;
  esac
  shift
done
[ -n "$tree" ] && echo "$tree $unity" >> "$ZV_CONFIGURED"
[ -n "$built" ] && echo "built $built $target" >> "$ZV_CONFIGURED"
exit 0
TOOL
# ctest passes all, or with ZV_SKIP_SAYS set has one suite skip with that line.
cat > "$work/bin/ctest" << 'TOOL'
#!/usr/bin/env bash
[ -n "${ZV_SKIP_SAYS:-}" ] && [ "$3" != -N ] || exit 0
mkdir -p "$2/Testing/Temporary" && printf '1/1 Testing: zv_audio_tests\n%s\n' "$ZV_SKIP_SAYS" > "$2/Testing/Temporary/LastTest.log"
echo "1/1 Test #1: zv_audio_tests ......***Skipped   0.01 sec"
TOOL
chmod +x "$work/bin/cmake" "$work/bin/ctest"
export PATH="$work/bin:$PATH" ZV_CONFIGURED="$work/configured"
mkdir "$work/repo"
cp -r "$repo/scripts" "$repo/README.md" "$work/repo/"

"$work/repo/scripts/test" > /dev/null
"$work/repo/scripts/build" > /dev/null
# The README's first command runs the executable; the tests build with
# scripts/test.
[ "$(grep '^built build ' "$work/configured")" = "built build zentrovex" ] ||
  fail "scripts/build built more than the executable: $(grep '^built build ' "$work/configured")"
sed -i '/^built /d' "$work/configured"
# The last word on each tree is what its next build uses.
declare -A unity_of
while read -r tree unity; do unity_of[$tree]=$unity; done < "$work/configured"
[ "${unity_of[build]:-}" = OFF ] || fail "scripts/build left build/ with the unity build ${unity_of[build]:-unset}"
while read -r tree unity; do
  [ "$unity" = ON ] && [ "$tree" = build ] && fail "scripts/test turned the unity build on in build/"
done < "$work/configured"
grep -q ' ON$' "$work/configured" || fail "scripts/test no longer builds with the unity build: $(cat "$work/configured")"
# A skip passes where it says why, and fails the run where it says nothing.
ZV_SKIP_SAYS='SKIP: SdlAudioTest.Plays: no sound device' "$work/repo/scripts/test" > /dev/null ||
  fail "scripts/test failed a skip that said its cause"
ZV_SKIP_SAYS='SKIP: SdlAudioTest.Plays: ' "$work/repo/scripts/test" > /dev/null &&
  fail "scripts/test passed a skip that said no cause"
echo "build scripts: scripts/test and scripts/build keep their trees apart; scripts/build builds the executable"
