#!/usr/bin/env bash
# Runs the test suites of built trees again and again beside a CPU load, and
# stops at the first failure: tests must pass on a loaded machine too.
#
#   stress.sh [-n RUNS] [-l LOOPS] [-t TREES] [-R REGEX] [-E REGEX]
#     -n RUNS   rounds (default 10); each round runs every tree once
#     -l LOOPS  busy shell loops beside the tests (default 2; 0: no load)
#     -t TREES  comma-separated trees: native, tsan, windows (default all three
#               that are built); tsan runs what the test command runs there
#     -R/-E     ctest's include/exclude regular expressions, for every tree
#
# Each tree's ctest runs as the test command runs it (-j 2, with its
# fixtures, but the photos are made only when the tree has none yet).
# The trees are built beforehand (scripts/build.sh). Ends with a summary:
# rounds, ctest runs, failures, the failed tests and where their log is.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
runs=10 loops=2 trees= include= exclude=
while getopts "n:l:t:R:E:" option; do
  case $option in
    n) runs=$OPTARG ;;
    l) loops=$OPTARG ;;
    t) trees=$OPTARG ;;
    R) include=$OPTARG ;;
    E) exclude=$OPTARG ;;
    *) sed -n '5,11p' "$0" >&2; exit 2 ;;
  esac
done
if [ -z "$trees" ]; then
  for tree in native tsan windows; do
    [ -f "$root/build/$tree/CTestTestfile.cmake" ] && trees+=${trees:+,}$tree
  done
fi
IFS=, read -r -a tree_list <<< "$trees"
[ ${#tree_list[@]} -gt 0 ] || { echo "stress: no built tree (scripts/build.sh)" >&2; exit 2; }
for tree in "${tree_list[@]}"; do
  [ -f "$root/build/$tree/CTestTestfile.cmake" ] ||
    { echo "stress: build/$tree is not built" >&2; exit 2; }
done

logs=$(mktemp -d "${TMPDIR:-/tmp}/veltamo-stress-XXXXXX")
load_pids=()
stop_load() {
  for pid in "${load_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${load_pids[@]}"; do wait "$pid" 2>/dev/null; done
  load_pids=()
}
trap 'stop_load; exit 130' INT TERM
trap stop_load EXIT
for ((i = 0; i < loops; i++)); do
  ( while :; do :; done ) &
  load_pids+=($!)
done

started=$(date +%s)
ctest_runs=0 failed_tree= failed_tests= failed_log=
round=0
for ((round = 1; round <= runs; round++)); do
  for tree in "${tree_list[@]}"; do
    args=(--test-dir "$root/build/$tree" --output-on-failure -j 2)
    inc=$include exc=$exclude
    [ -z "$inc" ] && [ "$tree" = tsan ] && inc='^(make_photos|unit_tests|module_tests)$'
    # The photos are made once (in the first round, unless the tree has
    # them from the current make_photos.sh); Wine's prefix fixture stays,
    # as the test command runs it.
    made=false
    for expected in "$root/build/$tree"/photos*/expected.tsv; do
      [ "$expected" -nt "$root/tests/e2e/make_photos.sh" ] && made=true
    done
    if [ "$round" -gt 1 ] || $made; then
      args+=(-FA '^photos')
      exc="^make_photos${exc:+|$exc}"
    fi
    [ -n "$inc" ] && args+=(-R "$inc")
    [ -n "$exc" ] && args+=(-E "$exc")
    log="$logs/round$round-$tree.log"
    t0=$(date +%s)
    # The full output of every test too: ctest shows none for a test whose
    # output lacks what it must print.
    ctest "${args[@]}" -O "$logs/round$round-$tree.full.log" > "$log" 2>&1
    status=$?
    ctest_runs=$((ctest_runs + 1))
    summary=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -1)
    printf 'round %d/%d %-8s %4d s  %s\n' "$round" "$runs" "$tree" $(( $(date +%s) - t0 )) \
      "${summary:-no tests ran (status $status)}"
    if [ "$status" -ne 0 ] || [ -z "$summary" ]; then
      failed_tree=$tree failed_log=$log
      failed_tests=$(sed -n '/The following tests FAILED:/,$p' "$log" | grep -E '^\s+[0-9]+ - ')
      break 2
    fi
  done
done
stop_load
elapsed=$(( $(date +%s) - started ))
echo "== stress: trees $trees, $loops busy loops, $elapsed s"
if [ -n "$failed_tree" ]; then
  echo "FAILED in round $round of $runs ($ctest_runs ctest runs), tree $failed_tree:"
  echo "${failed_tests:-  (see the log)}"
  echo "log: $failed_log (every test's output: ${failed_log%.log}.full.log)"
  exit 1
fi
echo "$runs rounds, $ctest_runs ctest runs, 0 failed"
rm -rf "$logs"
