#!/usr/bin/env bash
# What loading a picture or a sound costs: files whose headers claim far
# more than they hold (a PNG 16,777,216 pixels wide in 394 bytes, a TIFF of
# 16384 x 4096 in 548 bytes, a MOD of 31 samples of 128 KB in 2.2 KB), each
# loaded by a program of its own, with the peak memory (KB) and the seconds
# of the whole run, beside a whole 394-byte PNG (what a run takes anyway); then whole files of the same kinds (2048 x 2048 TIFF,
# JPEG and run-length BMP, a two-minute MP3) loaded ROUNDS times (default
# 5), the milliseconds one load takes as the program times it (medians).
# Each binary given runs each case in turn, so the figures come from one
# run.
#   bench/claimed_sizes/run.sh [ZENTROVEX...]    (default: build/zentrovex)
# Needs python3, ImageMagick's convert and lame (scripts/setup installs
# them).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
binaries=()
for binary in "${@:-$root/build/zentrovex}"; do binaries+=("$(realpath "$binary")"); done
rounds="${ROUNDS:-5}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_STATE_HOME=$work/state

fixtures="$root/tests/display/codecs/fixtures"
python3 - "$fixtures" "$root" <<'PY'
import struct, sys, zlib
fixtures, root = sys.argv[1], sys.argv[2]
png = bytearray(open(f"{fixtures}/rgb.png", "rb").read())
png[16:24] = struct.pack(">II", 1 << 24, 61)
png[29:33] = struct.pack(">I", zlib.crc32(bytes(png[12:29])))
open("small.png", "wb").write(open(f"{fixtures}/rgb.png", "rb").read())
open("wide.png", "wb").write(png)
tif = bytearray(open(f"{fixtures}/lzw.tif", "rb").read())
ifd = struct.unpack_from("<I", tif, 4)[0]
for e in range(struct.unpack_from("<H", tif, ifd)[0]):
    at = ifd + 2 + 12 * e
    tag, kind = struct.unpack_from("<HH", tif, at)
    if tag in (256, 257):
        struct.pack_into("<H" if kind == 3 else "<I", tif, at + 8, 16384 if tag == 256 else 4096)
open("large.tif", "wb").write(tif)
mod = bytearray(20)
for i in range(31):
    mod += b"sample".ljust(22, b"\0") + struct.pack(">HBBHH", 0xFFFF, 0, 64, 0, 1)
mod += bytes([1, 0]) + bytes(128) + b"M.K." + bytes(1024)
open("claims.mod", "wb").write(mod)
PY
convert -size 2048x2048 plasma:fractal -seed 1 -compress LZW whole.tif 2> /dev/null
convert whole.tif -quality 90 whole.jpg
convert whole.tif -colors 200 -compress RLE bmp3:whole.bmp
python3 -c "
import math, struct, sys
sys.stdout.buffer.write(b''.join(struct.pack('<hh', int(8000 * math.sin(n * 0.05)), int(8000 * math.sin(n * 0.031))) for n in range(44100 * 120)))
" > whole.raw
lame -r -s 44.1 --bitwidth 16 --signed --little-endian -b 128 --quiet whole.raw whole.mp3 2> /dev/null

# Peak KB and seconds of a run of `program`.
measure() {
  python3 - "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, round(time.monotonic() - start, 2))
PY
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-40s %-12s %12s %10s\n' binary file "peak KB" seconds
for load in "load image \"small.png\", 1" "load image \"wide.png\", 1" "load image \"large.tif\", 1" "load music \"claims.mod\", 1"; do
  printf '%s\r\nprint 1\r\n' "$load" > claim.kqa
  for binary in "${binaries[@]}"; do
    read -r kb seconds <<< "$(measure "$binary" run --headless claim.kqa)"
    printf '%-40s %-12s %12s %10s\n' "$binary" "$(cut -d'"' -f2 <<< "$load")" "$kb" "$seconds"
  done
done

printf '\n%-40s %-12s %12s\n' binary file "ms a load"
for load in "load image \"whole.tif\", 1" "load image \"whole.jpg\", 1" "load image \"whole.bmp\", 1" \
  "load sound \"whole.mp3\", 1 : delete sound 1"; do
  printf 't = timer()\r\nfor i = 1 to 3 : %s : next i\r\nprint (timer() - t) / 3\r\n' "$load" > whole.kqa
  declare -A runs=()
  for ((round = 0; round < rounds; ++round)); do
    for binary in "${binaries[@]}"; do
      runs[$binary]+="$("$binary" run --headless whole.kqa | tr -d ' \r') "
    done
  done
  for binary in "${binaries[@]}"; do
    printf '%-40s %-12s %12s\n' "$binary" "$(cut -d'"' -f2 <<< "$load")" \
      "$(tr ' ' '\n' <<< "${runs[$binary]}" | grep . | median)"
  done
  unset runs
done
