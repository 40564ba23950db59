#!/usr/bin/env bash
# Speed and memory figures: prolut against the ffmpeg CLI doing the same jobs on the same
# clips, in alternating runs, medians of RUNS (default 5; 3 at 4K) runs each; then cube
# load times and the colour kernels (Google Benchmark). Prints each figure with its target.
#   bench/bench.sh            everything (about 10 minutes on 2 cores)
#   RUNS=9 bench/bench.sh     steadier medians
#   SKIP_4K=1 bench/bench.sh  1080p only
#   ONLY_GRAIN=1 bench/bench.sh  the grain clips, the kernels and the scaling table only
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
start_bench results.txt time bc libbenchmark-dev
runs=${RUNS:-5}

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

time_ratio() { ratio "$(median "$1" 2)" "$(median "$2" 2)"; }


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
[ -z "${ONLY_GRAIN:-}" ] && timed_roads "" clip1080.mp4 "$runs"
if [ -z "${SKIP_4K:-}" ] && [ -z "${ONLY_GRAIN:-}" ]; then
  make_clip clip2160.mp4 3840x2160 60
  timed_roads _4k clip2160.mp4 "${RUNS_4K:-3}"
fi

# Grain: testsrc2 with temporal noise (8-bit, profile 0) and a detailed 10-bit picture with
# noise (mandelbrot, profile 3), each 4:2:0 and 4:2:2, 72 frames, like camera footage where
# nearly every pixel is a colour of its own.
grain_clips=(grain8_420 grain8_422 grain10_420 grain10_422)
make_grain_clip() { # NAME SIZE FRAMES
  local source="testsrc2=size=$2:rate=25" filter="noise=alls=14:allf=t" format=yuv420p
  case $1 in grain10*) source="mandelbrot=size=$2:rate=25" filter="format=yuv444p10le,noise=alls=6:allf=t" ;; esac
  case $1 in grain8_422*) format=yuv422p ;; grain10_420*) format=yuv420p10le ;; grain10_422*) format=yuv422p10le ;; esac
  [ -f "$1.mp4" ] || ffmpeg -v error -y -f lavfi -i "$source" -vf "$filter" -frames:v "$3" -c:v libx264 \
    -pix_fmt "$format" "$1.mp4"
}
grain_profile() { case $1 in grain10*) echo 3 ;; *) echo 0 ;; esac; }
for clip in "${grain_clips[@]}"; do make_grain_clip "$clip" 1920x1080 72; done
for ((run = 0; run < runs; run++)); do
  for clip in clean "${grain_clips[@]}"; do
    input=$clip.mp4 profile=$(grain_profile "$clip")
    [ "$clip" = clean ] && input=clip1080.mp4
    ffmpeg_prores=(ffmpeg -y -i "$input" -an -c:v prores -pix_fmt yuv422p10le -threads 7 -profile:v "$profile")
    measure "g_prolut_plain_$clip" "$prolut" "$input" out.mov "$profile"
    measure "g_ffmpeg_plain_$clip" "${ffmpeg_prores[@]}" out.mov
    measure "g_prolut_cube_$clip" "$prolut" "$input" out.mov "$profile" y 4 grade33.cube
    measure "g_ffmpeg_lut3d_$clip" "${ffmpeg_prores[@]}" -vf "lut3d=file=grade33.cube:interp=trilinear,format=yuv422p10le" out.mov
    measure "g_prolut_curve_$clip" "$prolut" "$input" out.mov "$profile" y 1
  done
done
# cores busy: CPU seconds over wall seconds times the cores.
busy() { printf "%.2f" "$(echo "$(median "$1" 4) / ($(median "$1" 2) * $(nproc))" | bc -l)"; }

echo "Runs on $(nproc) cores; medians (seconds, peak MiB). 1080p: 120 frames, $runs runs each."
for name in $(awk '{ print $1 }' "$results" | sort -u); do
  printf '  %-24s %7.3f s %7.1f MiB\n' "$name" "$(median "$name" 2)" "$(echo "$(median "$name" 3) / 1024" | bc -l)"
done

if [ -z "${ONLY_GRAIN:-}" ]; then
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
fi

echo "Figures on grain (1920x1080, 72 frames; clean = the 120-frame testsrc2 clip):"
printf '  %-22s %9s %9s %9s %9s %7s %9s\n' clip plain/CLI cube/lut3d cube/plain curve/plain busy "peak MiB"
for clip in clean "${grain_clips[@]}"; do
  printf '  %-22s %9s %9s %9s %9s %7s %9.0f\n' "$clip" "$(time_ratio "g_prolut_plain_$clip" "g_ffmpeg_plain_$clip")" \
    "$(time_ratio "g_prolut_cube_$clip" "g_ffmpeg_lut3d_$clip")" "$(time_ratio "g_prolut_cube_$clip" "g_prolut_plain_$clip")" \
    "$(time_ratio "g_prolut_curve_$clip" "g_prolut_plain_$clip")" "$(busy "g_prolut_plain_$clip")" \
    "$(echo "$(median "g_prolut_cube_$clip" 3) / 1024" | bc -l)"
done
figure "cube / ffmpeg CLI lut3d chain, clean (testsrc2)" "$(time_ratio g_prolut_cube_clean g_ffmpeg_lut3d_clean)" 0.38
figure "cube / ffmpeg CLI lut3d chain, grain 8-bit 4:2:0" "$(time_ratio g_prolut_cube_grain8_420 g_ffmpeg_lut3d_grain8_420)" 0.65
figure "cube / ffmpeg CLI lut3d chain, grain 10-bit 4:2:0" "$(time_ratio g_prolut_cube_grain10_420 g_ffmpeg_lut3d_grain10_420)" 0.75
figure "plain / ffmpeg CLI, clean" "$(time_ratio g_prolut_plain_clean g_ffmpeg_plain_clean)" 0.96
figure "plain / ffmpeg CLI, grain 8-bit 4:2:0" "$(time_ratio g_prolut_plain_grain8_420 g_ffmpeg_plain_grain8_420)" 0.97
figure "plain / ffmpeg CLI, grain 10-bit 4:2:0" "$(time_ratio g_prolut_plain_grain10_420 g_ffmpeg_plain_grain10_420)" 0.98
# Busier is better here: the figure printed is 1 - busy, against 1 - the issue's value.
for pair in "clean 0.96" "grain8_420 0.97" "grain10_420 0.97"; do
  read -r clip least <<<"$pair"
  figure "cores idle on the plain road, $clip (1 - busy; busy >= $least)" \
    "$(printf "%.2f" "$(echo "1 - $(busy "g_prolut_plain_$clip")" | bc -l)")" "$(printf "%.2f" "$(echo "1 - $least" | bc -l)")"
done
# Each clip's pictures have their own size in memory (10-bit 4:2:2 decodes to a third more
# than 8-bit 4:2:0), so each road is held against the CLI on the same clip.
worst=0
for clip in clean "${grain_clips[@]}"; do
  for road in plain cube curve; do
    share=$(ratio "$(median "g_prolut_${road}_$clip" 3)" "$(median "g_ffmpeg_plain_$clip" 3)")
    (($(echo "$share > $worst" | bc -l))) && worst=$share
  done
done
figure "peak resident memory, any road on any clip / ffmpeg CLI plain, same clip" "$worst" 1.10

if [ -z "${SKIP_4K:-}" ] && [ -z "${ONLY_GRAIN:-}" ]; then
  echo "Figures (3840x2160, 60 frames): each ratio within 10% of its 1080p value"
  read -r -a at_1080 <<<"$(ratios "")"
  read -r -a at_2160 <<<"$(ratios _4k)"
  labels=("plain p0 / ffmpeg" "plain p3 / ffmpeg" "cube / ffmpeg lut3d" "cube / own plain" "curve / own plain")
  for i in 0 1 2 3 4; do
    figure "${labels[$i]} at 4K, relative to 1080p (${at_2160[$i]} vs ${at_1080[$i]})" \
      "$(ratio "${at_2160[$i]}" "${at_1080[$i]}")" 1.10
  done
fi

[ -z "${ONLY_GRAIN:-}" ] && echo "Cube loading (prolut's whole start-up up to the input, which is missing here):"
for points in $([ -z "${ONLY_GRAIN:-}" ] && echo 65 129); do
  write_cube "$points" >"grade$points.cube"
  start=$EPOCHREALTIME
  "$prolut" missing.mp4 out.mov 3 y 4 "grade$points.cube" >/dev/null 2>&1 || true
  seconds=$(printf "%.3f" "$(echo "$EPOCHREALTIME - $start" | bc -l)")
  target=0.25
  [ "$points" = 129 ] && target=2
  figure "$points-point cube ($((points * points * points)) lines), seconds" "$seconds" "$target"
done

# The kernels on natural-looking content, a frame of the clean clip and frames of the grain
# clips, one thread. TwoPass* is the road as it was first built (tone map in place, then the
# YUV conversion); Graded* is the road as the program runs it now. Minimum of 5 runs: the
# figure least disturbed by whatever else the machine does.
frame_of() { # CLIP FRAME FORMAT OUTPUT
  [ -f "$4" ] || ffmpeg -v error -y -i "$1" -vf "select=eq(n\,$2)" -frames:v 1 -f rawvideo -pix_fmt "$3" "$4"
}
frame_of clip1080.mp4 60 bgr48le frame60.raw
for clip in "${grain_clips[@]}"; do frame_of "$clip.mp4" 36 bgr48le "$clip.raw"; done
kernel_figures() { # PICTURE: "name ns" lines
  PROLUT_BENCH_PICTURE=$([ "$1" = natural ] || echo "$1") "$build_dir/bench/colour_kernels_bench" \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=false 2>/dev/null |
    awk '/^BM_/ && !/_(mean|median|stddev|cv) / { sub(/ns_per_pixel=/, "", $NF); sub(/s$/, "", $NF)
      v = $NF + 0; if (!($1 in low) || v < low[$1]) low[$1] = v } END { for (k in low) print k, low[k] }' | sort
}
worst_cube=0 worst_curve=0
for picture in natural frame60.raw "${grain_clips[@]/%/.raw}"; do
  echo "Colour kernels, 1920x1080 working picture: $picture (ns per pixel, minimum of 5)"
  kernel_figures "$picture" >kernels.txt
  awk '{ printf "  %-28s %7.3f\n", $1, $2 }' kernels.txt
  cube=$(awk '$1 == "BM_GradedStepCube33" { print $2 }' kernels.txt)
  curve=$(awk '$1 == "BM_GradedStepCurve" { print $2 }' kernels.txt)
  [ "$picture" = frame60.raw ] && flat_cube=$cube
  case $picture in grain*) (($(echo "$cube > $worst_cube" | bc -l))) && worst_cube=$cube ;; esac
  (($(echo "$curve > $worst_curve" | bc -l))) && worst_curve=$curve
done
echo "Kernel figures (one thread):"
figure "whole cube step on grain, 33-point cube, ns/pixel (worst clip)" "$worst_cube" 4
figure "whole cube step on flat content (clean frame), ns/pixel" "$flat_cube" 0.80
figure "whole curve step on any content, ns/pixel (worst picture)" "$worst_curve" 1

# One picture's custom-road step (working picture from the decoded picture, then the grade)
# on 2 threads against 1, wall time, on the 10-bit grain clip (the scaler's slow path).
frame_of grain10_420.mp4 36 yuv420p10le grain10_420.yuv
step_bench() { # FORMAT PICTURE [CUBE]
  PROLUT_BENCH_FORMAT=$1 PROLUT_BENCH_YUV=$2 PROLUT_BENCH_CUBE=${3:-} "$build_dir/bench/custom_road_bench" \
    --benchmark_repetitions=5 2>/dev/null |
    awk '/^BM_CustomRoadStep\/[0-9]+\/real_time / { split($1, name, "/"); v = $2 + 0
      if (!(name[2] in low) || v < low[name[2]]) low[name[2]] = v } END { print low[1], low[2] }'
}
read -r step1 step2 <<<"$(step_bench yuv420p10le grain10_420.yuv grade33.cube)"
echo "Custom-road step on one 10-bit grain picture, cube: 1 thread $step1 ms, 2 threads $step2 ms (minimum of 5)"
figure "custom-road step, 2 threads / 1 thread" "$(ratio "$step2" "$step1")" 0.55

# The scaling table: CPU per frame of each stage, 1080p and 4K (10-bit grain, cube), and the
# frames per second that follow on P cores. Decoding and encoding run in threads of their
# own; the loop's thread waits for each picture's step, whose slices spread over the cores
# but for its serial share (from the 1- and 2-thread step: serial = 2 * two - one). The
# kernels' benches work at 1080p; per pixel, 4K costs the same.
cpu_of() { # COMMAND...: CPU milliseconds of one run
  /usr/bin/time -f "%U %S" -o cpu.out "$@" </dev/null >/dev/null 2>&1
  awk '{ printf "%.1f", ($1 + $2) * 1000 }' cpu.out
}
grade_ns=$(awk '$1 == "BM_GradedStepCube33" { print $2 }' <(kernel_figures grain10_420.raw))
serial_share=$(echo "(2 * $step2 - $step1) / $step1" | bc -l)
(($(echo "$serial_share < 0" | bc -l))) && serial_share=0
echo "Scaling (10-bit 4:2:0 grain, 33-point cube, profile 3; CPU ms per frame; serial share of the step $(printf "%.2f" "$serial_share")):"
printf '  %-10s %8s %8s %8s %8s %8s %8s %8s %8s\n' size decode scaler grade encode serial "4 cores" "8 cores" "16 cores"
for size in 1920x1080 3840x2160; do
  clip=grain10_420.mp4 frames=72
  if [ "$size" = 3840x2160 ]; then
    [ -n "${SKIP_4K:-}" ] && continue
    clip=grain10_2160.mp4 frames=24
    [ -f "$clip" ] || ffmpeg -v error -y -f lavfi -i "mandelbrot=size=$size:rate=25" \
      -vf "format=yuv444p10le,noise=alls=6:allf=t" -frames:v $frames -c:v libx264 -pix_fmt yuv420p10le "$clip"
  fi
  w=${size%x*} h=${size#*x}
  scale=$(echo "$w * $h / (1920 * 1080)" | bc -l)
  decode=$(echo "$(cpu_of ffmpeg -threads 1 -i "$clip" -an -f null -) / $frames" | bc -l)
  whole=$(echo "$(cpu_of taskset -c 0 "$prolut" "$clip" out.mov 3 y 4 grade33.cube) / $frames" | bc -l)
  step=$(echo "$step1 * $scale" | bc -l)
  grade=$(echo "$grade_ns * $w * $h / 1000000" | bc -l)
  scaler=$(echo "$step - $grade" | bc -l)
  encode=$(echo "$whole - $decode - $step" | bc -l)
  serial=$(echo "$step * $serial_share" | bc -l)
  fps=()
  for cores in 4 8 16; do
    total=$(echo "$whole / $cores" | bc -l)
    loop=$(echo "$serial + ($step - $serial) / $cores" | bc -l)
    bound=$(echo "if ($total > $loop) $total else $loop" | bc -l)
    fps+=("$(printf "%.0f" "$(echo "1000 / $bound" | bc -l)")")
  done
  printf '  %-10s %8.1f %8.1f %8.1f %8.1f %8.1f %8s %8s %8s\n' "$size" "$decode" "$scaler" "$grade" "$encode" "$serial" "${fps[@]}"
done
