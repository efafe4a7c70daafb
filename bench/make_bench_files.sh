#!/usr/bin/env bash
# Makes the movie files the file benchmarks run on (run_file_bench.py), as ffmpeg
# writes them, with the movie atom at the end:
#   hour.mov        1 hour of 640x360 H.264 + AAC, about 2 GB (a 1-minute segment
#                   encoded once, then repeated without re-encoding)
#   million.mov     1,000,000 tiny H.264 frames (10,000 encoded once, repeated)
#   chapters10k.mov a small movie with 10,000 chapters
#
#   bench/make_bench_files.sh OUTDIR      (needs ffmpeg with libx264, ~2.2 GB free)
# Files that exist already are kept.
set -euo pipefail
out=${1:?usage: make_bench_files.sh OUTDIR}
command -v ffmpeg >/dev/null || { echo "make_bench_files: ffmpeg is not installed" >&2; exit 2; }
mkdir -p "$out"
cd "$out"
ff=(ffmpeg -v error -nostdin -y)

if [ ! -f hour.mov ]; then
  # Noise keeps the encoder near 4.4 Mbit/s, which is what makes an hour 2 GB.
  "${ff[@]}" -f lavfi -i "testsrc2=s=640x360:r=30:d=60,noise=alls=40:allf=t" \
    -f lavfi -i "sine=f=440:d=60" -c:v libx264 -preset ultrafast -b:v 4200k -c:a aac -b:a 128k segment.mov
  "${ff[@]}" -stream_loop 59 -i segment.mov -map 0 -c copy hour.mov
  rm segment.mov
fi

if [ ! -f million.mov ]; then
  "${ff[@]}" -f lavfi -i "testsrc=s=32x32:r=1000:d=10" -c:v libx264 -preset ultrafast -g 250 tiny.mov
  "${ff[@]}" -stream_loop 99 -i tiny.mov -map 0 -c copy million.mov
  rm tiny.mov
fi

if [ ! -f chapters10k.mov ]; then
  {
    echo ";FFMETADATA1"
    for ((i = 0; i < 10000; i++)); do
      printf '[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=Chapter %d\n' $((i * 1000)) $((i * 1000 + 1000)) $((i + 1))
    done
  } > chapters.ffmeta
  "${ff[@]}" -f lavfi -i "testsrc=s=64x64:r=1:d=10000" -i chapters.ffmeta -map 0 -map_chapters 1 \
    -c:v mjpeg chapters10k.mov
  rm chapters.ffmeta
fi
ls -l hour.mov million.mov chapters10k.mov
