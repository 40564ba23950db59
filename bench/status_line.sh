#!/usr/bin/env bash
# What the status line costs: the same 1080p transcode (plain road, profile 0, the fastest, where
# any cost shows most) run under a pseudo-terminal (script) with standard error on it (the line
# shown), on it together with standard output (the line also makes way for every progress line),
# and redirected to /dev/null (no line; the same pseudo-terminal otherwise), in alternating runs.
# Prints the median wall and CPU (user + system) seconds of each and their ratios to the run
# without the line; on a shared machine the CPU seconds are the steadier figure.
#   bench/status_line.sh          RUNS=9 by default
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
start_bench status_results.txt bc bsdutils time
runs=${RUNS:-9}
[ -f clip1080.mp4 ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25" -frames:v 120 \
  -c:v libx264 -pix_fmt yuv420p clip1080.mp4

# measure NAME REDIRECTIONS: one run under a pseudo-terminal, its wall and CPU seconds (the
# columns 2 and 3 for median).
measure() {
  script -qec "/usr/bin/time -f '%e %U %S' -o status_time.out '$prolut' clip1080.mp4 status_out.mov 0 \
    </dev/null $2" /dev/null >/dev/null
  awk -v name="$1" '{ print name, $1, $2 + $3 }' status_time.out >>"$results"
}

for ((run = 0; run < runs; run++)); do
  measure off ">/dev/null 2>/dev/null"
  measure on ">/dev/null"
  measure shared ""
done

echo "Status line cost, 1920x1080, 120 frames, plain road p0, $runs alternating runs each (medians):"
printf '  %-46s %8s %8s %8s %8s\n' "" "wall s" "ratio" "CPU s" "ratio"
for name in off on shared; do
  case $name in
    off) label="standard error redirected (no line)" ;;
    on) label="standard error a terminal (the line)" ;;
    shared) label="standard output and error one terminal" ;;
  esac
  wall=$(median "$name" 2) cpu=$(median "$name" 3)
  printf '  %-46s %8.3f %8.3f %8.3f %8.3f\n' "$label" "$wall" "$(echo "$wall / $(median off 2)" | bc -l)" \
    "$cpu" "$(echo "$cpu / $(median off 3)" | bc -l)"
done
