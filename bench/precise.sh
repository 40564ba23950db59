#!/usr/bin/env bash
# What --precise costs: the custom road with and without it on the same clip and grade, in
# alternating runs (medians of RUNS, default 5, CPU seconds: user + system, the steadier figure
# on a shared machine), on grain and on flat pictures, 8-bit and 10-bit, curve mode 1 and two
# 33-point cubes (a smooth grade, and a contrast that clips to 0 and 1); each as this processor
# runs the program and with a build held to AVX2 (in build-avx2/), as on a processor without
# AVX-512. Then the kernels on single pictures (ns and instructions per pixel) and the levels
# of the 10-bit ramp (1920x16, codes 64..940) through a contrast cube.
#   bench/precise.sh             everything (about 15 minutes on 2 cores)
#   RUNS=9 bench/precise.sh      steadier medians
#   SKIP_HELD=1 bench/precise.sh this processor only
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
start_bench precise_results.txt time bc libbenchmark-dev valgrind
runs=${RUNS:-5}
builds=(native)
declare -A program=([native]=$prolut)
if [ -z "${SKIP_HELD:-}" ]; then
  held_dir=$root_dir/build-avx2
  cmake -S "$root_dir" -B "$held_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROLUT_HOLD_TO_AVX2=ON >/dev/null
  cmake --build "$held_dir" -j "$(nproc)" --target prolut >/dev/null
  builds+=(held)
  program[held]=$held_dir/prolut
fi

# 48 frames of 1920x1080: grain (nearly every pixel a colour of its own) and the clean test
# pattern, 8-bit 4:2:0 (profile 0) and 10-bit 4:2:0 (profile 3).
clips=(grain8 grain10 flat8 flat10)
make_clip() { # NAME
  local source=testsrc2 filter=null format=yuv420p
  case $1 in grain8) filter="noise=alls=14:allf=t" ;; grain10) source=mandelbrot filter="format=yuv444p10le,noise=alls=6:allf=t" ;; esac
  case $1 in *10) format=yuv420p10le ;; esac
  [ -f "p_$1.mp4" ] || ffmpeg -v error -y -f lavfi -i "$source=size=1920x1080:rate=25" -vf "$filter" -frames:v 48 \
    -c:v libx264 -pix_fmt "$format" "p_$1.mp4"
}
profile_of() { case $1 in *10) echo 3 ;; *) echo 0 ;; esac; }
for clip in "${clips[@]}"; do make_clip "$clip"; done

# write_cube POINTS AWK-EXPRESSION-OF-v: the same curve on each channel, v the lattice coordinate.
write_cube() {
  LC_ALL=C awk -v n="$1" 'function f(v) { return '"$2"' } BEGIN {
    print "LUT_3D_SIZE " n
    for (b = 0; b < n; b++) for (g = 0; g < n; g++) for (r = 0; r < n; r++)
      printf "%.6f %.6f %.6f\n", f(r / (n - 1)), f(g / (n - 1)), f(b / (n - 1))
  }'
}
write_cube 33 'v ^ 0.8' >smooth33.cube
write_cube 33 '(v - 0.5) * 1.5 + 0.5 < 0 ? 0 : ((v - 0.5) * 1.5 + 0.5 > 1 ? 1 : (v - 0.5) * 1.5 + 0.5)' >clip33.cube
write_cube 33 '0.5 - 0.5 * cos(3.141592653589793 * v)' >contrast33.cube
grades=(curve smooth clip)
grade_arguments() { case $1 in curve) echo 1 ;; smooth) echo 4 smooth33.cube ;; clip) echo 4 clip33.cube ;; esac; }

for ((run = 0; run < runs; run++)); do
  for build in "${builds[@]}"; do
    for clip in "${clips[@]}"; do
      for grade in "${grades[@]}"; do
        # shellcheck disable=SC2046 # the mode and the cube file are two words
        set -- "p_$clip.mp4" out.mov "$(profile_of "$clip")" y $(grade_arguments "$grade")
        measure "${build}_${clip}_${grade}_default" "${program[$build]}" "$@"
        measure "${build}_${clip}_${grade}_precise" "${program[$build]}" --precise "$@"
      done
    done
  done
done

echo "--precise / default custom road, CPU time (user + system), medians of $runs alternating runs on $(nproc) cores:"
printf '  %-8s %-8s %9s %9s %9s   %s\n' build clip curve smooth clip "(CPU s, default: curve smooth clip)"
declare -A worst
for build in "${builds[@]}"; do
  for clip in "${clips[@]}"; do
    line=() seconds=()
    for grade in "${grades[@]}"; do
      value=$(ratio "$(median "${build}_${clip}_${grade}_precise" 4)" "$(median "${build}_${clip}_${grade}_default" 4)")
      line+=("$value")
      seconds+=("$(median "${build}_${clip}_${grade}_default" 4)")
      kind=$([ "$grade" = curve ] && echo curve || echo cube)
      (($(echo "$value > ${worst[$build$kind]:-0}" | bc -l))) && worst[$build$kind]=$value
    done
    printf '  %-8s %-8s %9s %9s %9s   (%s)\n' "$build" "$clip" "${line[@]}" "${seconds[*]}"
  done
done
for build in "${builds[@]}"; do
  label=$([ "$build" = native ] && echo "this processor" || echo "held to AVX2")
  figure "--precise cube road / default cube road, worst clip, $label" "${worst[${build}cube]}" 1.05
  figure "--precise curve road / default curve road, worst clip, $label" "${worst[${build}curve]}" 1.05
done

# The kernels on one picture, one thread: ns per pixel (the lowest of 5) and instructions per
# pixel (callgrind, which does not move with the machine's load; it runs the AVX2 kernels).
frame_of() { # CLIP OUTPUT
  [ -f "$2" ] || ffmpeg -v error -y -i "$1" -vf "select=eq(n\,24)" -frames:v 1 -f rawvideo -pix_fmt bgr48le "$2"
}
kernels=(GradedStepCurve PreciseStepCurve GradedStepCube33 PreciseStepCube33)
echo "Colour kernels, 1920x1080 working picture, one thread: ns per pixel (lowest of 5) / instructions per pixel"
printf '  %-10s %18s %18s %18s %18s\n' picture "${kernels[@]}"
for clip in "${clips[@]}"; do
  frame_of "p_$clip.mp4" "p_$clip.raw"
  PROLUT_BENCH_PICTURE=p_$clip.raw "$build_dir/bench/colour_kernels_bench" --benchmark_filter='Step(Curve|Cube33)$' \
    --benchmark_repetitions=5 2>/dev/null |
    awk '/^BM_/ && !/_(mean|median|stddev|cv) / { sub(/ns_per_pixel=/, "", $NF); sub(/s$/, "", $NF)
      v = $NF + 0; if (!($1 in low) || v < low[$1]) low[$1] = v } END { for (k in low) print k, low[k] }' >kernels.txt
  line=()
  for kernel in "${kernels[@]}"; do
    PROLUT_BENCH_PICTURE=p_$clip.raw valgrind --tool=callgrind --callgrind-out-file=callgrind.out \
      --toggle-collect='convert_graded_bgr48_to_yuv422p10*' "$build_dir/bench/colour_kernels_bench" \
      --benchmark_filter="BM_$kernel\$" --benchmark_min_time=0 >/dev/null 2>&1
    instructions=$(awk '/^summary:/ { print $2 / (1920 * 1080) }' callgrind.out)
    line+=("$(awk -v k="BM_$kernel" '$1 == k { printf "%.2f", $2 }' kernels.txt) / $(printf "%.1f" "$instructions")")
  done
  printf '  %-10s %18s %18s %18s %18s\n' "$clip" "${line[@]}"
done

# The ramp: distinct luma codes in a row and the largest step between neighbours; the
# definition in double is taken on the working picture as the ffmpeg CLI's scaler makes it.
[ -f ramp.mkv ] || ffmpeg -v error -y -f lavfi -i "nullsrc=size=1920x16:rate=25:duration=0.2,format=yuv422p10le,geq=lum='64+floor(X*877/1920)':cb=512:cr=512" \
  -c:v ffv1 ramp.mkv
levels() { # distinct codes and the largest step of the numbers on standard input
  awk '{ for (i = 1; i <= NF; i++) { v = $i; if (!(v in seen)) { seen[v] = 1; count++ }
    if (n++) { d = v - last; if (d < 0) d = -d; if (d > step) step = d }; last = v } } END { print count, step + 0 }'
}
first_row() { # FILE FORMAT BYTES: the first row of the file's first picture, as numbers
  ffmpeg -v error -y -i "$1" -frames:v 1 -f rawvideo -pix_fmt "$2" picture.raw
  head -c "$3" picture.raw | od -An -tu2 -v
}
row_levels() { first_row "$1" yuv422p10le 3840 | levels; }
"$prolut" ramp.mkv ramp_default.mov 3 y 4 contrast33.cube >/dev/null 2>&1
"$prolut" --precise ramp.mkv ramp_precise.mov 3 y 4 contrast33.cube >/dev/null 2>&1
ffmpeg -v error -y -i ramp.mkv -vf "lut3d=file=contrast33.cube:interp=trilinear" -c:v prores -profile:v 3 \
  -pix_fmt yuv422p10le ramp_ffmpeg.mov
exact=$(first_row ramp.mkv bgr48le 11520 |
  LC_ALL=C awk 'BEGIN { for (i = 0; i < 33; i++) lattice[i] = sprintf("%.6f", 0.5 - 0.5 * cos(3.141592653589793 * i / 32)) + 0 }
    function graded(s,   p, i) { p = s / 65535 * 32; i = int(p); if (i > 31) i = 31; return lattice[i] + (p - i) * (lattice[i + 1] - lattice[i]) }
    { for (k = 1; k <= NF; k++) sample[n++] = $k }
    END { for (x = 0; x < n / 3; x++) {
      y = 64 + 876 * (0.299 * graded(sample[3 * x + 2]) + 0.587 * graded(sample[3 * x + 1]) + 0.114 * graded(sample[3 * x]))
      printf "%d ", int(y + 0.5) } }' | levels)
echo "The 10-bit ramp (1920x16, codes 64..940) through a 33-point contrast cube: distinct Y codes, largest step"
printf '  %-40s %5s %5s\n' "default custom road" $(row_levels ramp_default.mov)
printf '  %-40s %5s %5s\n' "--precise" $(row_levels ramp_precise.mov)
printf '  %-40s %5s %5s\n' "the definition in double" $exact
printf '  %-40s %5s %5s\n' "ffmpeg -vf lut3d=...:interp=trilinear" $(row_levels ramp_ffmpeg.mov)
