#!/usr/bin/env bash
# A short transcode on each road under valgrind memcheck: any invalid read or write, use
# of uninitialised memory or lost block fails. Usage: valgrind_check.sh PROLUT
set -euo pipefail
prolut=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ffmpeg -v error -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 24 -c:v libx264 -pix_fmt yuv420p in.mp4
printf 'LUT_3D_SIZE 2\n0\t0\t0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n' >grade.cube

memcheck() {
  echo "prolut $*"
  valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,possible \
    "$prolut" "$@" </dev/null >/dev/null
}
memcheck in.mp4 plain.mov 3
memcheck in.mp4 curve.mov 3 y 1
memcheck in.mp4 cube.mov 3 y 4 grade.cube
memcheck in.mp4 snapshot.mov 0 y 4 grade.cube custom.rgb
memcheck in.mp4 snapshot.mov 0 n 0 "" plain.rgb
