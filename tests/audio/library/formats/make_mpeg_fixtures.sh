#!/usr/bin/env bash
# Regenerates the MPEG audio fixtures in fixtures/: short test signals
# encoded with independent encoders (lame for layer III, twolame for layer
# II), and the output of an independent decoder (ffmpeg's floating-point
# decoders, no dithering) for each, rounded to nearest and clipped to 16 bits
# the way our decoder's output is. That output is stored compactly in
# NAME.ref: a zlib stream of varints, first the number of samples per
# channel, then for each channel in turn every sample's difference from the
# linear prediction 2 x[n-1] - x[n-2] (x[-1] = x[-2] = 0), zigzag-coded.
# manifest.txt lists each fixture as
#   file channels skip
# where skip counts the frames at the start of the stream that the reference
# decoder left out of its output (it drops a first frame whose header differs
# from the ones after it).
#
# Needs: ffmpeg, lame, twolame, python3 (apt-get install ffmpeg lame twolame);
# make_intensity_stream.py beside this script writes the intensity-stereo
# streams.
set -euo pipefail
cd "$(dirname "$0")"
out=fixtures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
rm -f "$out"/*.mp3 "$out"/*.mp2 "$out"/*.ref "$out"/manifest.txt

# signal NAME RATE SECONDS EXPRESSION: 16-bit raw PCM from an ffmpeg
# expression, channels separated by '|'.
signal() {
  ffmpeg -v error -f lavfi -i "aevalsrc='$4':s=$2:d=$3" -f s16le -y "$work/$1.raw"
}

signal sweep44 44100 0.2 '0.2*sin(2*PI*(200*t+6000*t*t))|0.15*sin(2*PI*(330*t+3000*t*t))'
signal clicks44 44100 0.25 '0.5*sin(2*PI*2000*t)*exp(-80*mod(t,0.1))|0.4*sin(2*PI*1300*t)*exp(-60*mod(t+0.05,0.1))'
signal noise48 48000 0.12 '0.2*(random(0)*2-1)|0.2*(random(1)*2-1)'
signal tone32 32000 0.25 '0.3*sin(2*PI*(100*t+10000*t*t))'
signal mix22 22050 0.35 '0.2*sin(2*PI*(200*t+3000*t*t))+0.05*(random(0)*2-1)|0.2*sin(2*PI*300*t)*exp(-30*mod(t,0.12))'
signal clicks16 16000 0.35 '0.5*sin(2*PI*1000*t)*exp(-80*mod(t,0.1))'
signal mix24 24000 0.3 '0.2*sin(2*PI*440*t)|0.15*(random(0)*2-1)*exp(-20*mod(t,0.15))'
signal mix8 8000 0.6 '0.3*sin(2*PI*440*t)+0.15*(random(0)*2-1)*exp(-40*mod(t,0.2))'
signal mix11 11025 0.45 '0.3*sin(2*PI*440*t)+0.1*(random(0)*2-1)|0.2*sin(2*PI*660*t)'
signal sweep12 12000 0.45 '0.2*sin(2*PI*(300*t+2000*t*t))|0.2*sin(2*PI*500*t)*exp(-30*mod(t,0.15))'
signal silence44 44100 0.1 '0|0'
signal square32 32000 0.15 'if(lt(mod(t*150,1),0.5),1,-1)|if(lt(mod(t*97,1),0.5),0.99,-0.99)'
signal sweep48 48000 0.15 '0.3*sin(2*PI*(100*t+15000*t*t))|0.1*sin(2*PI*(5000*t))'

lame_raw() { # in rate_khz out options...
  local in=$1 rate=$2 file=$3
  shift 3
  lame -r -s "$rate" --bitwidth 16 --signed --little-endian -t --quiet "$@" "$work/$in.raw" "$out/$file"
}
twolame_raw() { # in rate channels out options...
  local in=$1 rate=$2 channels=$3 file=$4
  shift 4
  twolame -r --quiet -s "$rate" -N "$channels" "$@" "$work/$in.raw" "$out/$file" 2>/dev/null
}

# Layer III: joint (mid/side) and simple stereo, mono, CBR and VBR, long and
# short blocks, MPEG-1, MPEG-2 and MPEG-2.5 rates.
lame_raw clicks44 44.1 l3_joint_128k_44k.mp3 -m j -b 128
lame_raw noise48 48 l3_stereo_320k_48k.mp3 -m s -b 320
lame_raw tone32 32 l3_mono_64k_32k.mp3 -m m -b 64
lame_raw clicks44 44.1 l3_vbr_44k.mp3 -m j -V 2
lame_raw sweep44 44.1 l3_forced_ms_32k_44k.mp3 -m f -b 32
lame_raw mix22 22.05 l3_lsf_vbr_22k.mp3 -m j -V 5
lame_raw clicks16 16 l3_lsf_mono_24k_16k.mp3 -m m -b 24
lame_raw mix24 24 l3_lsf_stereo_crc_64k_24k.mp3 -m s -b 64 -p
lame_raw mix8 8 l3_mpeg25_mono_16k_8k.mp3 -m m -b 16
lame_raw mix11 11.025 l3_mpeg25_joint_24k_11k.mp3 -m j -b 24
lame_raw sweep12 12 l3_mpeg25_vbr_12k.mp3 -m j -V 4
lame_raw silence44 44.1 l3_silence_128k_44k.mp3 -m j -b 128
lame_raw square32 32 l3_square_96k_32k.mp3 -m j -b 96

# Layer III intensity stereo (alone and with mid/side, long and short
# blocks), which lame does not produce: written directly.
python3 make_intensity_stream.py mpeg1 "$out/l3_intensity_320k_48k.mp3" 8
python3 make_intensity_stream.py lsf "$out/l3_lsf_intensity_160k_24k.mp3" 12

# Layer II: stereo, joint (intensity), dual channel with CRC, mono, all
# four MPEG-1 allocation tables and the LSF one.
twolame_raw sweep44 44100 2 l2_stereo_192k_44k.mp2 -m s -b 192
twolame_raw clicks44 44100 2 l2_joint_128k_44k.mp2 -m j -b 128
twolame_raw clicks44 44100 2 l2_joint_64k_44k.mp2 -m j -b 64
twolame_raw tone32 32000 1 l2_mono_48k_32k.mp2 -m m -b 48
twolame_raw sweep48 48000 2 l2_dual_crc_160k_48k.mp2 -m d -b 160 -p
twolame_raw square32 32000 2 l2_stereo_384k_32k.mp2 -m s -b 384
twolame_raw mix22 22050 2 l2_lsf_joint_64k_22k.mp2 -m j -b 64
twolame_raw clicks16 16000 1 l2_lsf_mono_32k_16k.mp2 -m m -b 32
twolame_raw mix24 24000 2 l2_lsf_stereo_96k_24k.mp2 -m s -b 96

# Streams as lame writes them by default, its tag frame (Info or Xing)
# first stating its delay and padding, of a chirp the loader's tests compute
# again: 10000 sin(2 pi 441 t (1 + t)) for 0.4 s, the same in each channel.
mkdir -p "$out/gapless" && rm -f "$out"/gapless/*.mp3
gapless() { # rate channels file options...
  python3 -c "import math, struct, sys; r, c = $1, $2; sys.stdout.buffer.write(b''.join(struct.pack('<h', \
    round(10000 * math.sin(2 * math.pi * 441 * n / r * (1 + n / r)))) * c for n in range(r * 2 // 5)))" > "$work/chirp.raw"
  lame -r -s "$(python3 -c "print($1 / 1000)")" --bitwidth 16 --signed --little-endian --quiet \
    -m "$([ "$2" = 1 ] && echo m || echo j)" "${@:4}" "$work/chirp.raw" "$out/gapless/$3"
}
gapless 44100 1 cbr_mono_44k.mp3 -b 128
gapless 44100 2 vbr_joint_44k.mp3 -V 2
gapless 22050 1 lsf_mono_22k.mp3 -b 64

# Reference output and manifest.
python3 - "$out" <<'EOF'
import os, struct, subprocess, sys, zlib

out = sys.argv[1]
BITRATES = {(0, 2): [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
            (0, 3): [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
            (1, 2): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
            (1, 3): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
RATES = [44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000]

def frames(data):
    """(count, channels, samples per channel per frame) of a clean stream."""
    pos = count = 0
    channels = per_frame = None
    while pos + 4 <= len(data):
        h = int.from_bytes(data[pos:pos + 4], 'big')
        assert h >> 21 == 0x7FF, f'lost sync at {pos}'
        version = (h >> 19) & 3
        lsf = 0 if version == 3 else 1
        layer = 4 - ((h >> 17) & 3)
        rate = RATES[((h >> 10) & 3) + (6 if version == 0 else 3 * lsf)]
        kbps = BITRATES[(lsf, layer)][(h >> 12) & 15]
        padding = (h >> 9) & 1
        channels = 1 if (h >> 6) & 3 == 3 else 2
        per_frame = 576 if layer == 3 and lsf else 1152
        size = kbps * 144000 // (rate << (lsf if layer == 3 else 0)) + padding
        pos += size
        count += 1
    return count, channels, per_frame

def varint(z, out):
    while z >= 0x80:
        out.append((z & 0x7F) | 0x80)
        z >>= 7
    out.append(z)

def compact(pcm, channels):
    out = bytearray()
    varint(len(pcm) // channels, out)
    for c in range(channels):
        p1 = p2 = 0
        for v in pcm[c::channels]:
            r = v - (2 * p1 - p2)
            varint((r << 1) ^ (r >> 63) if r < 0 else r << 1, out)
            p2, p1 = p1, v
    return zlib.compress(bytes(out), 9)

manifest = []
for name in sorted(os.listdir(out)):
    if not name.endswith(('.mp3', '.mp2')):
        continue
    path = os.path.join(out, name)
    count, channels, per_frame = frames(open(path, 'rb').read())
    codec = 'mp3float' if name.endswith('.mp3') else 'mp2float'
    raw = subprocess.run(['ffmpeg', '-v', 'error', '-c:a', codec, '-i', path, '-f', 'f32le', '-'],
                         check=True, capture_output=True).stdout
    values = struct.unpack(f'<{len(raw) // 4}f', raw)
    per_frame_values = per_frame * channels
    missing = count * per_frame_values - len(values)
    assert missing >= 0 and missing % per_frame_values == 0, (name, missing)
    pcm = []
    for v in values:
        s = min(max(v * 32768.0, -32768.0), 32767.0)
        pcm.append(int(round(s)))  # nearest, ties to even, like the decoder
    with open(os.path.join(out, name + '.ref'), 'wb') as f:
        f.write(compact(pcm, channels))
    manifest.append(f'{name} {channels} {missing // per_frame_values}')
with open(os.path.join(out, 'manifest.txt'), 'w') as f:
    f.write('\n'.join(manifest) + '\n')
print('\n'.join(manifest))
EOF
du -ch "$out"/* | tail -n 1
