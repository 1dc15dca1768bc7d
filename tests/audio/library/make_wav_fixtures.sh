#!/usr/bin/env bash
# Makes the WAV fixtures of the sound library's tests: one short tone in
# every encoding the WAV reader decodes, each beside a reference of what it
# decodes to (".ref": 16-bit little-endian PCM as ffmpeg decodes it).
# Run from anywhere; rewrites tests/audio/library/fixtures/wav/.
set -euo pipefail
out="$(cd "$(dirname "$0")" && pwd)/fixtures/wav"
mkdir -p "$out"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

# 0.05 s at 22050 Hz: a 440 Hz tone, mono; a 440/660 Hz pair, stereo.
mono="aevalsrc=0.7*sin(2*PI*440*t)+0.2*sin(2*PI*3000*t):s=22050:d=0.05"
stereo="aevalsrc=0.7*sin(2*PI*440*t)|0.5*sin(2*PI*660*t)+0.3*sin(2*PI*2500*t):s=22050:d=0.05"

make() {  # name source codec [extra args...]
  local name=$1 source=$2 codec=$3
  shift 3
  ff -f lavfi -i "$source" -c:a "$codec" "$@" "$out/$name.wav"
  ff -i "$out/$name.wav" -f s16le -c:a pcm_s16le "$out/$name.ref"
}

make pcm_u8_mono "$mono" pcm_u8
make pcm_s16_stereo "$stereo" pcm_s16le
make pcm_s24_mono "$mono" pcm_s24le
make pcm_s32_stereo "$stereo" pcm_s32le
make float32_mono "$mono" pcm_f32le
make float64_stereo "$stereo" pcm_f64le
make alaw_mono "$mono" pcm_alaw
make mulaw_stereo "$stereo" pcm_mulaw
make ms_adpcm_mono "$mono" adpcm_ms -block_size 256
make ms_adpcm_stereo "$stereo" adpcm_ms
make ima_adpcm_mono "$mono" adpcm_ima_wav
make ima_adpcm_stereo "$stereo" adpcm_ima_wav -block_size 256

# IMA ADPCM references follow the published IMA algorithm (the step added
# up from shifted steps); ffmpeg's decoder rounds the step product instead,
# so its output differs in the low bits.
python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
steps = [7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55, 60, 66, 73, 80,
         88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494, 544, 598,
         658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327,
         3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289,
         16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767]
moves = [-1, -1, -1, -1, 2, 4, 6, 8] * 2

def chunks(data):
    at = 12
    while at + 8 <= len(data):
        name, size = data[at:at + 4], struct.unpack('<I', data[at + 4:at + 8])[0]
        yield name, data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)

for name in ('ima_adpcm_mono', 'ima_adpcm_stereo'):
    wav = open(f'{out}/{name}.wav', 'rb').read()
    parts = dict(chunks(wav))
    channels, align = struct.unpack('<H', parts[b'fmt '][2:4])[0], struct.unpack('<H', parts[b'fmt '][12:14])[0]
    data = parts[b'data']
    values = []
    for start in range(0, len(data), align):
        block = data[start:start + align]
        if len(block) < 4 * channels:
            break
        groups = (len(block) - 4 * channels) // (4 * channels)
        frames = [[0] * channels for _ in range(1 + 8 * groups)]
        for c in range(channels):
            predictor, index = struct.unpack('<h', block[4 * c:4 * c + 2])[0], min(block[4 * c + 2], 88)
            frames[0][c] = predictor
            for g in range(groups):
                run = block[4 * channels + (g * channels + c) * 4:][:4]
                for i in range(8):
                    code = run[i // 2] >> 4 if i & 1 else run[i // 2] & 15
                    step = steps[index]
                    diff = step >> 3
                    if code & 4: diff += step
                    if code & 2: diff += step >> 1
                    if code & 1: diff += step >> 2
                    predictor = max(-32768, min(32767, predictor - diff if code & 8 else predictor + diff))
                    index = max(0, min(88, index + moves[code]))
                    frames[1 + g * 8 + i][c] = predictor
        for frame in frames:
            values.extend(frame)
    open(f'{out}/{name}.ref', 'wb').write(struct.pack(f'<{len(values)}h', *values))
PY
