#!/usr/bin/env bash
# Speed and memory figures: prolut against the ffmpeg CLI doing the same jobs on the same
# clips, in alternating runs, medians of RUNS (default 5; 3 at 4K) runs each; then cube
# load times and the colour kernels (Google Benchmark). Prints each figure with its target.
#   bench/bench.sh            everything (about 10 minutes on 2 cores)
#   RUNS=9 bench/bench.sh     steadier medians
#   SKIP_4K=1 bench/bench.sh  1080p only
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
install_missing_packages time bc libbenchmark-dev
build_program >/dev/null

runs=${RUNS:-5}
work=$build_dir/bench
prolut=$build_dir/prolut
mkdir -p "$work"
cd "$work"
rm -f results.txt

make_clip() { # NAME SIZE FRAMES
  [ -f "$1" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=$2:rate=25" -frames:v "$3" \
    -c:v libx264 -pix_fmt yuv420p "$1"
}

# The grades: a 33-point 3D cube and a 256-entry 1D cube for ffmpeg's nearest jobs.
write_cube() { # POINTS
  LC_ALL=C awk -v n="$1" 'BEGIN {
    print "LUT_3D_SIZE " n
    for (b = 0; b < n; b++) for (g = 0; g < n; g++) for (r = 0; r < n; r++)
      printf "%.6g\t%.6g\t%.6g\n", (r / (n - 1)) ^ 0.8, g / (n - 1), (b / (n - 1)) ^ 1.25
  }'
}
write_cube 33 >grade33.cube
LC_ALL=C awk 'BEGIN {
  print "LUT_1D_SIZE 256"
  for (i = 0; i < 256; i++) { v = (i / 255) ^ 0.45; printf "%.6g %.6g %.6g\n", v, v, v }
}' >curve1d.cube

# measure NAME COMMAND...: one run, its wall seconds and peak resident kilobytes.
measure() {
  local name=$1 start end
  shift
  start=$EPOCHREALTIME
  if ! /usr/bin/time -f "%M" -o rss.out "$@" </dev/null >/dev/null 2>run.err; then
    echo "$name failed:" >&2
    cat run.err >&2
    exit 1
  fi
  end=$EPOCHREALTIME
  echo "$name $(echo "$end - $start" | bc -l) $(cat rss.out)" >>results.txt
}

# median NAME COLUMN: the median of one column (2 seconds, 3 kilobytes) of NAME's runs.
median() {
  awk -v name="$1" -v column="$2" '$1 == name { print $column }' results.txt | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() { printf "%.3f" "$(echo "$1 / $2" | bc -l)"; }
time_ratio() { ratio "$(median "$1" 2)" "$(median "$2" 2)"; }

# figure LABEL VALUE TARGET: a figure beside its target and whether it is met.
figure() {
  local verdict=met
  (($(echo "$2 > $3" | bc -l))) && verdict=MISSED
  printf '  %-60s %7s   target <= %-5s %s\n' "$1" "$2" "$3" "$verdict"
}

# timed_roads SUFFIX CLIP RUNS: every road of prolut and the ffmpeg CLI's jobs, alternating.
timed_roads() {
  local suffix=$1 clip=$2 count=$3 run profile
  local ffmpeg_prores=(ffmpeg -y -i "$clip" -an -c:v prores -pix_fmt yuv422p10le -threads 7)
  for ((run = 0; run < count; run++)); do
    for profile in 0 3; do
      measure "prolut_plain_p$profile$suffix" "$prolut" "$clip" out.mov "$profile"
      measure "ffmpeg_plain_p$profile$suffix" "${ffmpeg_prores[@]}" -profile:v "$profile" out.mov
    done
    measure "prolut_curve_p3$suffix" "$prolut" "$clip" out.mov 3 y 1
    measure "ffmpeg_lut1d_p3$suffix" "${ffmpeg_prores[@]}" -profile:v 3 \
      -vf "lut1d=file=curve1d.cube,format=yuv422p10le" out.mov
    measure "prolut_cube_p3$suffix" "$prolut" "$clip" out.mov 3 y 4 grade33.cube
    measure "ffmpeg_lut3d_p3$suffix" "${ffmpeg_prores[@]}" -profile:v 3 \
      -vf "lut3d=file=grade33.cube:interp=trilinear,format=yuv422p10le" out.mov
  done
}

# ratios SUFFIX: the time ratios of one picture size, in the order of the targets.
ratios() {
  echo "$(time_ratio "prolut_plain_p0$1" "ffmpeg_plain_p0$1") $(time_ratio "prolut_plain_p3$1" "ffmpeg_plain_p3$1")" \
    "$(time_ratio "prolut_cube_p3$1" "ffmpeg_lut3d_p3$1") $(time_ratio "prolut_cube_p3$1" "prolut_plain_p3$1")" \
    "$(time_ratio "prolut_curve_p3$1" "prolut_plain_p3$1")"
}

make_clip clip1080.mp4 1920x1080 120
timed_roads "" clip1080.mp4 "$runs"
if [ -z "${SKIP_4K:-}" ]; then
  make_clip clip2160.mp4 3840x2160 60
  timed_roads _4k clip2160.mp4 "${RUNS_4K:-3}"
fi

echo "Runs on $(nproc) cores; medians (seconds, peak MiB). 1080p: 120 frames, $runs runs each."
for name in $(awk '{ print $1 }' results.txt | sort -u); do
  printf '  %-24s %7.3f s %7.1f MiB\n' "$name" "$(median "$name" 2)" "$(echo "$(median "$name" 3) / 1024" | bc -l)"
done

echo "Figures (1920x1080):"
read -r plain0 plain3 cube_ffmpeg cube_plain curve_plain <<<"$(ratios "")"
figure "plain road p0 / ffmpeg CLI plain p0" "$plain0" 1.02
figure "plain road p3 / ffmpeg CLI plain p3" "$plain3" 1.02
figure "cube mode 4 (33 points) / ffmpeg CLI lut3d trilinear" "$cube_ffmpeg" 0.50
figure "cube mode 4 / own plain road p3" "$cube_plain" 1.30
figure "curve mode 1 / own plain road p3" "$curve_plain" 1.20
peak=0
for road in prolut_plain_p0 prolut_plain_p3 prolut_curve_p3 prolut_cube_p3; do
  rss=$(median "$road" 3)
  ((rss > peak)) && peak=$rss
done
figure "peak resident memory, any road / ffmpeg CLI plain p3" "$(ratio "$peak" "$(median ffmpeg_plain_p3 3)")" 1.10
printf '  %-60s %7s\n' "(for information) curve mode 1 / ffmpeg CLI lut1d" "$(time_ratio prolut_curve_p3 ffmpeg_lut1d_p3)"

if [ -z "${SKIP_4K:-}" ]; then
  echo "Figures (3840x2160, 60 frames): each ratio within 10% of its 1080p value"
  read -r -a at_1080 <<<"$(ratios "")"
  read -r -a at_2160 <<<"$(ratios _4k)"
  labels=("plain p0 / ffmpeg" "plain p3 / ffmpeg" "cube / ffmpeg lut3d" "cube / own plain" "curve / own plain")
  for i in 0 1 2 3 4; do
    figure "${labels[$i]} at 4K, relative to 1080p (${at_2160[$i]} vs ${at_1080[$i]})" \
      "$(ratio "${at_2160[$i]}" "${at_1080[$i]}")" 1.10
  done
fi

echo "Cube loading (prolut's whole start-up up to the input, which is missing here):"
for points in 65 129; do
  write_cube "$points" >"grade$points.cube"
  start=$EPOCHREALTIME
  "$prolut" missing.mp4 out.mov 3 y 4 "grade$points.cube" >/dev/null 2>&1 || true
  seconds=$(printf "%.3f" "$(echo "$EPOCHREALTIME - $start" | bc -l)")
  target=0.25
  [ "$points" = 129 ] && target=2
  figure "$points-point cube ($((points * points * points)) lines), seconds" "$seconds" "$target"
done

# The kernels on natural-looking content, then on a frame of the timed clip. TwoPass* is
# the road as it was first built (tone map in place, then the YUV conversion); Graded*
# is the road as the program runs it now.
ffmpeg -v error -y -i clip1080.mp4 -vf "select=eq(n\,60)" -frames:v 1 -f rawvideo -pix_fmt bgr48le frame60.raw
for picture in natural frame60.raw; do
  echo "Colour kernels, 1920x1080 working picture: $picture (ns per pixel, median of 5)"
  PROLUT_BENCH_PICTURE=$([ "$picture" = natural ] || echo "$picture") "$build_dir/bench/colour_kernels_bench" \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
    awk '/_median/ { sub(/_median/, "", $1); sub(/ns_per_pixel=/, "", $NF); sub(/s$/, "", $NF); printf "  %-28s %7.3f\n", $1, $NF }'
done
