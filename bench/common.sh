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
