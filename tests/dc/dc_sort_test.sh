#!/usr/bin/env bash
# Sorting a folder of 300 photos by the plugin's "Date taken" column in
# Double Commander: the folder is shown sorted by name, the test clicks the
# column's header (as a user sorts by a column), then checks that the panel
# lists the photos in the order of the dates one exiftool run over the
# folder prints, each cell showing its date. It also tells how long the host
# took: from just before the click to the return of the last value call it
# made, and how many value calls that was.
#
# The calls are seen through tests/dc/call_recorder.c, installed as the
# plugin in front of the module under test (which sits beside it as
# Veltamo-real.wdx, with Config.txt).
#
# Usage: tests/dc/dc_sort_test.sh [MODULE | --no-read-ahead]
#   MODULE           a Linux build of the plugin (default: build/linux/Veltamo.wdx)
#   --no-read-ahead  configure and build build/linux-noahead (the same module
#                    with -DVELTAMO_READ_AHEAD=OFF) and run against it
# Exits 1 on any failure.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=dc_env.sh
source "$here/dc_env.sh"
# shellcheck source=dc_calls.sh
source "$here/dc_calls.sh"

[ $# -le 1 ] || { echo "usage: $0 [MODULE | --no-read-ahead]" >&2; exit 2; }
module_arg=$(dc_module_path "${1:-$DC_ROOT/build/linux/Veltamo.wdx}") || exit 1

PHOTOS=${DC_SORT_PHOTOS:-300}
FIELD="Date taken"
# Seconds: for the first screen of values, for the sorted list.
SHOW_TIMEOUT=${DC_VALUES_TIMEOUT:-20}
SORT_TIMEOUT=${DC_SORT_TIMEOUT:-60}

started=$(date +%s)
results=()
pass() { results+=("PASS $*"); echo "PASS $*"; }
fail() { results+=("FAIL $*"); echo "FAIL $*"; }
elapsed() { echo "$(($(date +%s) - started)) s"; }

dc_env_init
trap dc_env_cleanup EXIT
S=$DC_SCRATCH
tool=(perl "$here/dc_tool.pl")

mkdir -p "$S/empty"
dc_install_recorder "$S/plugin" "$module_arg"
echo "dc-sort: module $module_arg"

bash "$here/make_sort_photos.sh" "$S/photos" "$PHOTOS" || dc_die "cannot make the test photos"
"${tool[@]}" manifest --plugin-config "$S/plugin/Config.txt" --only-field "$FIELD" \
  --out "$S/columns.json" || dc_die "dist/Config.txt has no field '$FIELD'"
# What the cells must show, before the host starts, so that the tool's
# run does not share the machine with the measured sort.
exiftool -q -fast -T -FileName -DateTimeOriginal "$S/photos" >"$S/expected.tsv" \
  || dc_die "exiftool could not read $S/photos"
echo "dc-sort: [$(elapsed)] $PHOTOS photos made"

dc_start_x 1600 900
dc_seed_config "$S/dc"
dc_configure "$S/dc" "$S/plugin/Veltamo.wdx" "$S/columns.json" "$S/photos" "$S/empty"

log=$S/calls.log
: >"$log"
# The number of calls that started at $1 or later, the last END time among
# them, and the number of files they asked.
calls_since() {
  awk -v t0="$1" '$1 >= t0 { n++; if ($2 > last) last = $2; if (!seen[$8]++) files++ }
                  END { printf "%d %s %d\n", n, last, files }' "$log"
}
wait_quiet() { dc_wait_quiet "$log" "$@"; }

VELTAMO_DC_CALL_LOG=$log DC_START_SOFT=1 dc_start "$S/dc" || dc_die "Double Commander ended at start"
# The first screen of rows, sorted by name, asks its values; then the host is
# idle.
wait_quiet 1 "$SHOW_TIMEOUT" || dc_die "no values shown within $SHOW_TIMEOUT s ($(wc -l <"$log") calls)"
echo "dc-sort: [$(elapsed)] the first screen asked $(wc -l <"$log") values"

eval "$(xdotool getwindowgeometry --shell "$DC_WIN" | grep -E '^[XY]=[0-9]+$')"
win_x=${X:?} win_y=${Y:?}
# Where the column's header is, from a screenshot; the window may take a
# moment to be painted in full (its active panel's colours).
click_x=""
for ((i = 0; i < 20; i++)); do
  dc_focus
  import -window root -depth 8 "$S/start.ppm" || dc_die "cannot take a screenshot"
  read -r click_x click_y < <("${tool[@]}" header --shot "$S/start.ppm" \
    --dc-xml "$S/dc/doublecmd.xml" --column 1 --window-x "$win_x" --window-y "$win_y" 2>"$S/header.log")
  [ -n "$click_x" ] && break
  sleep 0.5
done
[ -n "$click_x" ] || dc_die "cannot find the header of '$FIELD': $(cat "$S/header.log")" \
  "(DC_KEEP_SCRATCH=1 keeps the screenshot, $S/start.ppm)"

# The sort: a click on the column's header.
xdotool mousemove "$click_x" "$click_y" 2>/dev/null
sleep 0.3
before=$(wc -l <"$log")
t0=$(dc_now)
xdotool click 1 2>/dev/null
deadline=$(($(date +%s) + SORT_TIMEOUT))
sorted=0
while :; do
  left=$((deadline - $(date +%s)))
  [ "$left" -gt 0 ] || break
  wait_quiet $((before + 1)) "$left" || break
  read -r calls last files < <(calls_since "$t0")
  dc_read_panel "$S/shown.txt"
  if "${tool[@]}" order --quiet --manifest "$S/columns.json" --expected "$S/expected.tsv" \
       --shown "$S/shown.txt"; then
    sorted=1
    break
  fi
done
echo "dc-sort: [$(elapsed)] last reading of the panel"
while read -r line; do
  case "$line" in PASS*|FAIL*) results+=("$line") ;; esac
  echo "$line"
done < <("${tool[@]}" order --manifest "$S/columns.json" --expected "$S/expected.tsv" \
           --shown "$S/shown.txt")
if [ $sorted -eq 1 ]; then
  first=$(awk -v t0="$t0" '$1 >= t0 { print $1; exit }' "$log")
  seconds=$(perl -e "printf '%.2f', $last - $t0")
  echo "dc-sort: sorting $PHOTOS photos by '$FIELD': $seconds s from the click to the return" \
       "of the last value call (the first came $(perl -e "printf '%.2f', $first - $t0") s after" \
       "the click); $calls value calls after the click, for $files files ($before before it," \
       "for the first screen)"
  if [ "$files" -eq "$PHOTOS" ]; then
    pass "the host asked a value of every photo for the sort"
  else
    fail "the host asked values of $files files for the sort, not $PHOTOS"
  fi
fi

if dc_alive; then
  dc_quit
  status=$?
  if [ $status -eq 0 ]; then
    pass "Double Commander closed normally after the sort"
  else
    fail "Double Commander did not close normally after the sort (status $status)"
  fi
else
  fail "Double Commander ended by itself during the sort"
fi

echo
echo "dc-sort: summary ($(elapsed))"
failed=0
for r in "${results[@]}"; do
  echo "  $r"
  case "$r" in FAIL*) failed=$((failed + 1)) ;; esac
done
echo "$((${#results[@]} - failed)) passed, $failed failed"
[ $failed -eq 0 ]
