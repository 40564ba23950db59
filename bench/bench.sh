#!/usr/bin/env bash
# Speed figures: prolut against the ffmpeg CLI doing the same job on the same 1080p clip,
# in alternating runs, medians of RUNS (default 5) runs each. Prints each figure with its
# target. Usage: bench/bench.sh   (RUNS=9 bench/bench.sh for steadier medians)
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
install_missing_packages time bc
build_program >/dev/null

runs=${RUNS:-5}
work=$build_dir/bench
prolut=$build_dir/prolut
mkdir -p "$work"
cd "$work"
rm -f results.txt

clip=clip1080.mp4
if [ ! -f "$clip" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25" -frames:v 120 \
    -c:v libx264 -pix_fmt yuv420p "$clip"
fi

# The grades: a 33-point 3D cube and a 256-entry 1D cube for ffmpeg's nearest jobs. The
# lattice must begin with the exact line "0<tab>0<tab>0", which %.6g gives for black.
LC_ALL=C awk -v n=33 'BEGIN {
  print "LUT_3D_SIZE " n
  for (b = 0; b < n; b++) for (g = 0; g < n; g++) for (r = 0; r < n; r++)
    printf "%.6g\t%.6g\t%.6g\n", (r / (n - 1)) ^ 0.8, g / (n - 1), (b / (n - 1)) ^ 1.25
}' >grade33.cube
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

# figure LABEL VALUE TARGET: prints a ratio beside its target and whether it is met.
figure() {
  local verdict=met
  (( $(echo "$2 > $3" | bc -l) )) && verdict=MISSED
  printf '%-58s %6s   target <= %-5s %s\n' "$1" "$2" "$3" "$verdict"
}

# The ffmpeg CLI with prolut's encoder settings.
ffmpeg_prores=(ffmpeg -y -i "$clip" -an -c:v prores -pix_fmt yuv422p10le -threads 7)

for ((run = 0; run < runs; run++)); do
  for profile in 0 3; do
    measure "prolut_plain_p$profile" "$prolut" "$clip" "plain_p$profile.mov" "$profile"
    measure "ffmpeg_plain_p$profile" "${ffmpeg_prores[@]}" -profile:v "$profile" "ffmpeg_p$profile.mov"
  done
  measure prolut_curve_p3 "$prolut" "$clip" curve_p3.mov 3 y 1
  measure ffmpeg_lut1d_p3 "${ffmpeg_prores[@]}" -profile:v 3 -vf "lut1d=file=curve1d.cube,format=yuv422p10le" \
    ffmpeg_lut1d.mov
  measure prolut_cube_p3 "$prolut" "$clip" cube_p3.mov 3 y 4 grade33.cube
  measure ffmpeg_lut3d_p3 "${ffmpeg_prores[@]}" -profile:v 3 \
    -vf "lut3d=file=grade33.cube:interp=trilinear,format=yuv422p10le" ffmpeg_lut3d.mov
done

echo "1920x1080 h264, 120 frames, $runs runs each, $(nproc) cores; medians (seconds, peak MiB):"
for name in $(awk '{ print $1 }' results.txt | sort -u); do
  printf '  %-22s %7.3f s %7.1f MiB\n' "$name" "$(median "$name" 2)" "$(echo "$(median "$name" 3) / 1024" | bc -l)"
done
time_ratio() { ratio "$(median "$1" 2)" "$(median "$2" 2)"; }
for profile in 0 3; do
  figure "plain road p$profile / ffmpeg CLI" "$(time_ratio "prolut_plain_p$profile" "ffmpeg_plain_p$profile")" 1.05
done
echo "Custom road (profile 3), for information:"
printf '  %-56s %6s\n' "curve mode 1 / ffmpeg CLI lut1d" "$(time_ratio prolut_curve_p3 ffmpeg_lut1d_p3)" \
  "curve mode 1 / own plain road" "$(time_ratio prolut_curve_p3 prolut_plain_p3)" \
  "cube mode 4 (33 points) / ffmpeg CLI lut3d trilinear" "$(time_ratio prolut_cube_p3 ffmpeg_lut3d_p3)" \
  "cube mode 4 / own plain road" "$(time_ratio prolut_cube_p3 prolut_plain_p3)"
