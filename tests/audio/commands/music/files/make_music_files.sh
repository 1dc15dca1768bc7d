#!/usr/bin/env bash
# Writes the music files of the music tests beside this script with the
# ffmpeg command-line tool (Debian package ffmpeg): half a second of a
# 440 Hz tone, mono, in each compressed format that music files come in
# besides MIDI, WAV and MP3.
set -euo pipefail
cd "$(dirname "$0")"

tone() {  # output rate codec-options...
  local out=$1 rate=$2
  shift 2
  ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=${rate}:duration=0.5" \
    -fflags +bitexact -flags +bitexact -map_metadata -1 "$@" "$out"
}

tone tone.wma 22050 -c:a wmav2 -b:a 32k
tone tone.ogg 22050 -c:a libvorbis -q:a 0
tone tone.m4a 22050 -c:a aac -b:a 32k
tone tone.flac 8000 -c:a flac
