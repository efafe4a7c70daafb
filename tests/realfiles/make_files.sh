#!/usr/bin/env bash
# Makes a set of small movie files the way another program writes them, for the
# real-file tests: H.264, MJPEG, PCM and AAC tracks, time-code tracks, chapters,
# 'mdta' metadata, the movie atom at the end and first ("fast start"), .mov and .mp4.
#
#   tests/realfiles/make_files.sh OUTDIR [--big]
#
# With --big it makes only big-co64.mov instead, a movie over 4 GiB of
# constant-colour raw video whose chunk offsets need 'co64', and only when OUTDIR's
# disk has room; the caller deletes it when done. Without ffmpeg it makes nothing
# (the tests then skip).
set -euo pipefail

out=${1:?usage: make_files.sh OUTDIR [--big]}
big=${2:-}
command -v ffmpeg >/dev/null || { echo "make_files: ffmpeg is not installed: no files made" >&2; exit 0; }
mkdir -p "$out"
cd "$out"

if [ "$big" = "--big" ]; then
  # 180 frames of 3840x2160 RGB are 4.5 GB; leave 2 GiB for everything else.
  need=$((4480000000 + (2 << 30)))
  free=$(df --output=avail -B1 . | tail -1)
  if [ "$free" -lt "$need" ]; then
    echo "make_files: skipping big-co64.mov: $((free >> 20)) MiB free in $out, $((need >> 20)) MiB needed" >&2
    exit 0
  fi
  ffmpeg -v error -nostdin -y -f lavfi -i "color=c=0x3366cc:s=3840x2160:r=10:d=18" \
    -c:v rawvideo -pix_fmt rgb24 big-co64.mov
  exit 0
fi

# Chapters and a title in ffmpeg's metadata file form; one title is not ASCII.
cat > chapters.ffmeta <<'META'
;FFMETADATA1
title=Real file
[CHAPTER]
TIMEBASE=1/1000
START=0
END=800
title=Intro
[CHAPTER]
TIMEBASE=1/1000
START=800
END=2000
title=Zweite Straße — 東京
META

# Two seconds of test picture and tone; every file shares them.
make() {
  local name=$1 rate=$2
  shift 2
  ffmpeg -v error -nostdin -y -f lavfi -i "testsrc=d=2:s=160x120:r=$rate" -f lavfi -i "sine=d=2:f=440" \
    -i chapters.ffmeta -map 0 -map 1 -map_metadata 2 "$@" "$name"
}

x264=(-c:v libx264 -preset ultrafast -pix_fmt yuv420p)
make h264-aac-tc-chapters.mov 25 -map_chapters 2 "${x264[@]}" -c:a aac -timecode 01:00:00:00
make mjpeg-pcm-dropframe-faststart.mov 30000/1001 -map_chapters 2 -c:v mjpeg -c:a pcm_s16le \
  -timecode "00:59:59;28" -movflags +faststart
make mjpeg-pcm-mdta.mov 25 -map_chapters -1 -c:v mjpeg -c:a pcm_s16le -movflags use_metadata_tags \
  -metadata com.example.key=Value -metadata "com.example.greeting=Grüße"
make h264-aac-chapters-faststart.mp4 25 -map_chapters 2 "${x264[@]}" -c:a aac -movflags +faststart
make h264-aac-mdta.mp4 25 -map_chapters -1 "${x264[@]}" -c:a aac -movflags use_metadata_tags \
  -metadata com.example.key=Value
rm chapters.ffmeta
