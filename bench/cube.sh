#!/usr/bin/env bash
# The cube step against a set of LUTs as grading meets them: how many pixels only the exact
# arithmetic settles, what clipping costs, the step against the colour cache it replaced
# (commit 3cb9f32) and the whole road against the ffmpeg CLI's lut3d chain. Every timed figure
# twice: as this processor runs it, and from a build held to AVX2 (FFmpeg too, and the CLI
# with -cpuflags), as on a processor without AVX-512. Alternating runs, medians; prints each
# figure with its target.
#   bench/cube.sh               everything (about 20 minutes on 2 loaded cores)
#   RUNS=5 bench/cube.sh        steadier medians (default 3)
#   FRAMES=72 bench/cube.sh     longer clips (default 36 frames at 1920x1080)
#   ONLY_TALLY=1 bench/cube.sh  the exact-path shares alone (a minute)
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
start_bench cube_results.txt time bc libbenchmark-dev
runs=${RUNS:-3} frames=${FRAMES:-36}

# The set: an S-curve whose red clips to 1.0 over its top tenth (times 1.05, clamped), the
# same S-curve unclipped, an identity, a look (contrast, saturation, warmth; whites clipped and
# blacks crushed) at 17, 33 and 65 points, and the 33-point look as a 10-bit LUT writes it,
# every value k / 1023. Tabs between the numbers, as the colour cache commit reads them.
# write_cube KIND POINTS.
cube_set=(clipping33 identity33 grade17 grade33 grade65 tenbit33)
write_cube() {
  LC_ALL=C awk -v kind="$1" -v n="$2" '
    function s(x) { return 0.3 * x + 0.7 * x * x * (3 - 2 * x) }
    function clamp(v) { return v < 0 ? 0 : v > 1 ? 1 : v }
    BEGIN {
      print "LUT_3D_SIZE " n
      for (b = 0; b < n; b++) for (g = 0; g < n; g++) for (r = 0; r < n; r++) {
        v[0] = r / (n - 1); v[1] = g / (n - 1); v[2] = b / (n - 1)
        y = 0.3 * v[0] + 0.59 * v[1] + 0.11 * v[2]
        gain[0] = 1.06; gain[1] = 1; gain[2] = 0.94
        for (c = 0; c < 3; c++) {
          if (kind == "identity") o[c] = v[c]
          else if (kind == "scurve") o[c] = s(v[c])
          else if (kind == "clipping") o[c] = c == 0 ? clamp(1.05 * s(v[c])) : s(v[c])
          else o[c] = clamp(1.08 * s(clamp(y + 1.1 * (v[c] - y))) * gain[c] - 0.02)
          if (kind == "tenbit") o[c] = int(o[c] * 1023 + 0.5) / 1023
        }
        printf "%.9g\t%.9g\t%.9g\n", o[0], o[1], o[2]
      }
    }'
}
for cube in "${cube_set[@]}" scurve33; do write_cube "${cube%%[0-9]*}" "${cube##*[a-z]}" >"$cube.cube"; done

# The clips of bench.sh, shorter: testsrc2 (profile 3), testsrc2 with temporal noise (8-bit,
# profile 0) and mandelbrot with noise (10-bit, profile 3), all 4:2:0.
clips=(clean grain8 grain10)
make_clip() { # NAME: cube_NAME.mp4 and a picture of its middle, NAME.raw
  local source="testsrc2=size=1920x1080:rate=25" filter=null format=yuv420p
  case $1 in
    grain8) filter="noise=alls=14:allf=t" ;;
    grain10) source="mandelbrot=size=1920x1080:rate=25" filter="format=yuv444p10le,noise=alls=6:allf=t"
      format=yuv420p10le ;;
  esac
  [ -f "cube_$1.mp4" ] || ffmpeg -v error -y -f lavfi -i "$source" -vf "$filter" -frames:v "$frames" \
    -c:v libx264 -pix_fmt "$format" "cube_$1.mp4"
  [ -f "$1.raw" ] || ffmpeg -v error -y -i "cube_$1.mp4" -vf "select=eq(n\,$((frames / 2)))" \
    -frames:v 1 -f rawvideo -pix_fmt bgr48le "$1.raw"
}
profile_of() { case $1 in grain8) echo 0 ;; *) echo 3 ;; esac; }
for clip in "${clips[@]}"; do make_clip "$clip"; done

# Every colour is checked against the scalar reference on the way; a difference fails the run.
echo "How the cube step settles the pixels (shares of one 1920x1080 picture; the kernel as both builds run it):"
"$build_dir/bench/cube_tally" "${cube_set[@]/%/.cube}" scurve33.cube -- natural "${clips[@]/%/.raw}" \
  | sed "s/\.raw /     /; s/\.cube /      /" | tee tally.txt | sed 's/^/  /'
worst=$(awk 'NR > 1 && $1 != "scurve33" { sub(/%/, "", $6); if ($6 + 0 > w) w = $6 + 0 } END { printf "%.3f", w }' tally.txt)
figure "pixels settled by the exact path, any LUT of the set, any picture (%)" "$worst" 1
[ -n "${ONLY_TALLY:-}" ] && exit 0

# The builds: this tree as this processor runs it and held to AVX2, and commit 3cb9f32 (the
# colour cache) both ways; that commit predates the hold, so its start is given the same line
# that holds FFmpeg here.
held_dir=$root_dir/build-avx2
cmake -S "$root_dir" -B "$held_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROLUT_HOLD_TO_AVX2=ON -DPROLUT_TESTS=OFF >/dev/null
cmake --build "$held_dir" -j "$(nproc)" --target prolut >/dev/null
old_dir=$build_dir/bench/colour-cache
if [ ! -f "$old_dir/src/driver/main.cpp" ]; then
  mkdir -p "$old_dir"
  git -C "$root_dir" archive 3cb9f32 | tar -x -C "$old_dir"
  sed -i 's|^#include <cstdio>$|#include <cstdio>\nextern "C" {\n#include <libavutil/cpu.h>\n}|; s|^    install_stop_signals();$|    install_stop_signals();\n#ifdef PROLUT_HOLD_TO_AVX2\n    av_force_cpu_flags(av_get_cpu_flags() \& ~(AV_CPU_FLAG_AVX512 \| AV_CPU_FLAG_AVX512ICL));\n#endif|' \
    "$old_dir/src/driver/main.cpp"
fi
for hold in native avx2; do
  flags=""
  [ "$hold" = avx2 ] && flags=-DPROLUT_HOLD_TO_AVX2
  cmake -S "$old_dir" -B "$old_dir/build-$hold" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROLUT_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  cmake --build "$old_dir/build-$hold" -j "$(nproc)" --target prolut >/dev/null
done
declare -A new_prolut=([native]=$prolut [avx2]=$held_dir/prolut)
declare -A old_prolut=([native]=$old_dir/build-native/prolut [avx2]=$old_dir/build-avx2/prolut)
declare -A cli_flags=([native]="" [avx2]="-cpuflags -avx512-avx512icl")
"${new_prolut[avx2]}" --version | grep -q "no AVX-512" || { echo "the held build does not hold" >&2; exit 1; }

ratio_of() { printf "%.3f" "$(echo "$(median "$1" "$3") / $(median "$2" "$3")" | bc -l)"; } # A B COLUMN

for ((run = 0; run < runs; run++)); do
  for clip in "${clips[@]}"; do
    input=cube_$clip.mp4 profile=$(profile_of "$clip")
    for hold in native avx2; do
      for cube in "${cube_set[@]}" scurve33; do
        measure "new_${hold}_${clip}_$cube" "${new_prolut[$hold]}" "$input" out.mov "$profile" y 4 "$cube.cube"
        [ "$cube" = scurve33 ] || measure "old_${hold}_${clip}_$cube" "${old_prolut[$hold]}" "$input" out.mov "$profile" y 4 "$cube.cube"
      done
      # shellcheck disable=SC2086
      measure "lut3d_${hold}_$clip" ffmpeg ${cli_flags[$hold]} -y -i "$input" -an -c:v prores -pix_fmt yuv422p10le \
        -threads 7 -profile:v "$profile" -vf "lut3d=file=clipping33.cube:interp=trilinear,format=yuv422p10le" out.mov
    done
  done
done

echo "Runs on $(nproc) cores, $frames frames of 1920x1080, $runs runs each; wall and CPU seconds (medians):"
for name in $(awk '{ print $1 }' "$results" | sort -u); do
  printf '  %-34s %7.3f %7.3f\n' "$name" "$(median "$name" 2)" "$(median "$name" 4)"
done
for hold in native avx2; do
  label="as this processor runs it"
  [ "$hold" = avx2 ] && label="held to AVX2"
  echo "Figures, $label:"
  worst_clip=0 worst_old=0
  for clip in "${clips[@]}"; do
    wall=$(ratio_of "new_${hold}_${clip}_clipping33" "new_${hold}_${clip}_scurve33" 2)
    cpu=$(ratio_of "new_${hold}_${clip}_clipping33" "new_${hold}_${clip}_scurve33" 4)
    printf '  %-10s clipping / unclipped S-curve: wall %s, CPU %s\n' "$clip" "$wall" "$cpu"
    (($(echo "$wall > $worst_clip" | bc -l))) && worst_clip=$wall
    line=""
    for cube in "${cube_set[@]}"; do
      old=$(ratio_of "new_${hold}_${clip}_$cube" "old_${hold}_${clip}_$cube" 4)
      line+=" $cube $old"
      (($(echo "$old > $worst_old" | bc -l))) && worst_old=$old
    done
    printf '  %-10s against the colour cache (CPU):%s\n' "$clip" "$line"
  done
  figure "cube road, LUT that clips / LUT that does not, worst clip (wall)" "$worst_clip" 1.05
  figure "cube road / commit 3cb9f32 (colour cache), worst clip and LUT (CPU)" "$worst_old" 1.00
  for pair in "clean 0.45" "grain8 0.70" "grain10 0.75"; do
    read -r clip target <<<"$pair"
    figure "cube / ffmpeg CLI lut3d chain, $clip, clipping S-curve (wall; CPU $(ratio_of "new_${hold}_${clip}_clipping33" "lut3d_${hold}_$clip" 4))" \
      "$(ratio_of "new_${hold}_${clip}_clipping33" "lut3d_${hold}_$clip" 2)" "$target"
  done
done
