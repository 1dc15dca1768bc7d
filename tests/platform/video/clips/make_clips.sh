#!/usr/bin/env bash
# Writes the tiny test clips beside this script with the ffmpeg command-line
# tool (Debian package ffmpeg). Every clip shows six frames, each one solid
# colour in turn (red, green, blue, yellow, magenta, cyan) with a white
# block in its top-left corner (a quarter of the width, a quarter of the
# height), so tests can tell the frames, their order and their orientation.
set -euo pipefail
cd "$(dirname "$0")"

frames() {  # size rate
  local size=$1 rate=$2
  local box='lt(X,W/4)*lt(Y,H/4)'
  echo "nullsrc=s=${size}:r=${rate},trim=end_frame=6,format=gbrp,geq=" \
    "r='if(${box},255,255*(eq(N,0)+eq(N,3)+eq(N,4)))':" \
    "g='if(${box},255,255*(eq(N,1)+eq(N,3)+eq(N,5)))':" \
    "b='if(${box},255,255*(eq(N,2)+eq(N,4)+eq(N,5)))'" | tr -d ' '
}

encode() {  # output size rate codec-options...
  local out=$1 size=$2 rate=$3
  shift 3
  ffmpeg -v error -y -f lavfi -i "$(frames "$size" "$rate")" \
    -fflags +bitexact -flags +bitexact -map_metadata -1 "$@" "$out"
}

encode raw.avi 16x12 10 -c:v rawvideo -pix_fmt bgr24
encode mjpeg.avi 32x24 10 -c:v mjpeg -q:v 2 -pix_fmt yuvj420p
encode mpeg1.mpg 32x24 25 -c:v mpeg1video -q:v 2 -bf 0 -g 3 -mbd rd -f mpeg
# The MJPEG clip again with a sound track (the video must play without it),
# and a sound without any video.
ffmpeg -v error -y -f lavfi -i "$(frames 32x24 10)" \
  -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.6" \
  -fflags +bitexact -flags +bitexact -map_metadata -1 \
  -c:v mjpeg -q:v 2 -pix_fmt yuvj420p -c:a pcm_u8 -ac 1 with_sound.avi
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.1" \
  -fflags +bitexact -flags +bitexact -map_metadata -1 -c:a pcm_u8 sound_only.wav
