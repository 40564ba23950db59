#!/usr/bin/env bash
# What the status line costs: the same 1080p transcode (plain road, profile 0, the fastest, where
# any cost shows most) run under a pseudo-terminal (script) with standard error on it (the line
# shown), on it together with standard output (the line also makes way for every progress line),
# and redirected to /dev/null (no line; the same pseudo-terminal otherwise), in alternating runs.
# Prints the median wall and CPU (user + system) seconds of each and their ratios to the run
# without the line; on a shared machine the CPU seconds are the steadier figure.
#   bench/status_line.sh          RUNS=9 by default
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
install_missing_packages bc bsdutils time
build_program >/dev/null

runs=${RUNS:-9}
work=$build_dir/bench
prolut=$build_dir/prolut
mkdir -p "$work"
cd "$work"
rm -f status_results.txt
[ -f clip1080.mp4 ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25" -frames:v 120 \
  -c:v libx264 -pix_fmt yuv420p clip1080.mp4

# measure NAME REDIRECTIONS: one run under a pseudo-terminal, its wall and CPU seconds.
measure() {
  script -qec "/usr/bin/time -f '%e %U %S' -o status_time.out '$prolut' clip1080.mp4 status_out.mov 0 \
    </dev/null $2" /dev/null >/dev/null
  awk -v name="$1" '{ print name, $1, $2 + $3 }' status_time.out >>status_results.txt
}

# median NAME COLUMN: 2 wall seconds, 3 CPU seconds.
median() {
  awk -v name="$1" -v column="$2" '$1 == name { print $column }' status_results.txt | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
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
