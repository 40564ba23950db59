#!/usr/bin/env bash
# Each road, precise or not, the snapshot raw and as PNG, sound resampled into MXF, and fields at
# heights where the encoder reads past the picture, under valgrind memcheck: any invalid read or
# write, use of uninitialised memory or lost block fails. Usage: valgrind_check.sh PROLUT
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ffmpeg -v error -f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i sine=duration=1.2 -frames:v 24 \
  -c:v libx264 -pix_fmt yuv420p in.mp4
ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 24 -vf setfield=tff -flags +ildct+ilme \
  -c:v libx264 tff.mp4
ffmpeg -v error -f lavfi -i testsrc2=size=320x208:rate=25 -frames:v 3 -vf setfield=bff -flags +ildct+ilme \
  -c:v libx264 bff.mp4
printf 'LUT_3D_SIZE 2\n0\t0\t0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n' >grade.cube
# shellcheck disable=SC2086 # one word, one argument
for arguments in "tff.mp4 unused.mov 3 n 0 unread.cube plain.png" "bff.mp4 fields.mkv 3 y 1" \
  "in.mp4 unused.mov 0 y 4 grade.cube custom.rgb" "--precise in.mp4 unused.mov 0 y 4 grade.cube custom.rgb" \
  "--audio --precise in.mp4 sound.mxf 3 y 1"; do
  echo "prolut $arguments"
  valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,possible \
    "$1" $arguments </dev/null >/dev/null
done
