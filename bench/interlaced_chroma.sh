#!/usr/bin/env bash
# What FFmpeg's scaler does to the chroma of an interlaced 4:2:0 source on its way to RGB, as
# both roads use it (whole frames, bicubic), against scaling each field on its own (the scale
# filter's interl=1). The truth: testsrc2 at 50 pictures a second in 16-bit RGB, woven two by
# two into top-field-first frames; the source: the same with its chroma halved field by field,
# stored losslessly. Prints the PSNR of each against the truth, on moving pictures and on one
# still picture (both fields from the same instant).
#   bench/interlaced_chroma.sh        SIZE=720x576 by default
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
start_bench chroma_results.txt
size=${SIZE:-720x576}

for scene in moving still; do
  still=""
  [ $scene = still ] && still="trim=end_frame=1,loop=loop=40:size=1,"
  weave="testsrc2=size=$size:rate=50,${still}format=rgb48le,tinterlace=mode=interleave_top,setfield=tff"
  ffmpeg -v error -y -f lavfi -i "$weave" -frames:v 20 -f rawvideo -pix_fmt rgb48le truth.rgb
  ffmpeg -v error -y -f lavfi -i "$weave" -frames:v 20 -vf "scale=interl=1,format=yuv420p" -c:v ffv1 \
    interlaced420.mkv
  for interl in 0 1; do
    way=$([ $interl = 0 ] && echo frames || echo fields)
    ffmpeg -v error -y -i interlaced420.mkv -vf "scale=interl=$interl:flags=bicubic" -f rawvideo \
      -pix_fmt rgb48le scaled.rgb
    psnr=$(ffmpeg -f rawvideo -pix_fmt rgb48le -s "$size" -i scaled.rgb -f rawvideo -pix_fmt rgb48le \
      -s "$size" -i truth.rgb -lavfi psnr -f null - 2>&1 | grep -o 'average:[0-9.]*' | cut -d: -f2)
    echo "$scene-$way $psnr" >>"$results"
  done
done

echo "Interlaced 4:2:0 (top field first, $size, 20 frames) to RGB, PSNR against the truth in dB:"
printf '  %-8s %14s %14s\n' "" "whole frames" "field by field"
for scene in moving still; do
  printf '  %-8s %14s %14s\n' $scene "$(median $scene-frames 2)" "$(median $scene-fields 2)"
done
