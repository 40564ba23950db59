# What the bench scripts share: the program built, their work folder in the build tree, and the
# median of what their runs recorded.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

# start_bench RESULTS PACKAGES...: the packages installed where missing, the program built, the
# work folder entered and RESULTS (one line a run: its name, then its figures) emptied.
start_bench() {
  results=$1
  shift
  install_missing_packages "$@"
  build_program >/dev/null
  prolut=$build_dir/prolut
  mkdir -p "$build_dir/bench"
  cd "$build_dir/bench" || exit 1
  rm -f "$results"
}

# median NAME COLUMN: the median of one column of NAME's runs in RESULTS.
median() {
  awk -v name="$1" -v column="$2" '$1 == name { print $column }' "$results" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# measure NAME COMMAND...: one run of COMMAND (standard input from /dev/null, its output dropped) into
# RESULTS as NAME, its wall seconds, peak resident kilobytes and CPU seconds (user + system): columns
# 2, 3 and 4 for median. A failing run ends the bench with its standard error.
measure() {
  local name=$1 start end
  shift
  start=$EPOCHREALTIME
  if ! /usr/bin/time -f "%M %U %S" -o run.time "$@" </dev/null >/dev/null 2>run.err; then
    echo "$name failed:" >&2
    cat run.err >&2
    exit 1
  fi
  end=$EPOCHREALTIME
  read -r rss user system <run.time
  echo "$name $(echo "$end - $start" | bc -l) $rss $(echo "$user + $system" | bc -l)" >>"$results"
}

ratio() { printf "%.3f" "$(echo "$1 / $2" | bc -l)"; }

# figure LABEL VALUE TARGET: a figure beside its target and whether it is met.
figure() {
  local verdict=met
  (($(echo "$2 > $3" | bc -l))) && verdict=MISSED
  printf '  %-66s %7s   target <= %-5s %s\n' "$1" "$2" "$3" "$verdict"
}
