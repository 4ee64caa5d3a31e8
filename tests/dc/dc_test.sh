#!/usr/bin/env bash
# The plugin in a real host: Double Commander (GTK) on a private X server,
# with a configuration of its own, showing a folder of photos made here in a
# column set of the plugin's fields. What it displays is read back through
# its own "copy file details" command and compared, cell by cell, with what
# one-shot exiftool prints.
#
# Usage: tests/dc/dc_test.sh MODULE [CONFIG]
#   MODULE  a Linux build of the plugin (it is copied as Veltamo.wdx)
#   CONFIG  the Config.txt to put beside it (default: dist/Config.txt)
#
# Checks: every cell; the Lens column names the lens of the Canon and Nikon
# photos, and Date taken is empty for a camera whose clock was never set
# (with a Config.txt that has these columns); sorting by an integer column
# is by number; the host is alive until it is closed, and closes normally;
# no exiftool is left after it closes, nor after it is killed (SIGKILL).
# Exits 1 on any failure.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=dc_env.sh
source "$here/dc_env.sh"

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 MODULE [CONFIG]" >&2; exit 2; }
module_arg=$1
config_arg=${2:-$DC_ROOT/dist/Config.txt}
[ -f "$module_arg" ] || dc_die "no module at $module_arg"
[ -f "$config_arg" ] || dc_die "no Config.txt at $config_arg"
module_arg=$(cd "$(dirname "$module_arg")" && pwd)/$(basename "$module_arg")
config_arg=$(cd "$(dirname "$config_arg")" && pwd)/$(basename "$config_arg")

# Seconds to wait for all cells to show their values, and for exiftool to
# end after the host is gone.
VALUES_TIMEOUT=${DC_VALUES_TIMEOUT:-20}
TOOL_END_TIMEOUT=${DC_TOOL_END_TIMEOUT:-3}

started=$(date +%s)
results=()
elapsed() { echo "$(($(date +%s) - started)) s"; }
pass() { results+=("PASS $*"); echo "PASS $*"; }
fail() { results+=("FAIL $*"); echo "FAIL $*"; }

perl "$here/dc_tool.pl" selfcheck || dc_die "the comparison's own checks failed"
dc_env_init
trap dc_env_cleanup EXIT
S=$DC_SCRATCH
tool=(perl "$here/dc_tool.pl")

# The module beside its Config.txt, as a user installs it.
mkdir -p "$S/plugin" "$S/empty"
cp "$module_arg" "$S/plugin/Veltamo.wdx"
cp "$config_arg" "$S/plugin/Config.txt"
echo "dc: module $module_arg"
echo "dc: config $config_arg"

bash "$here/make_photos.sh" "$S/photos" || dc_die "cannot make the test photos"

# The panel is sorted by the first integer field the configuration shows
# with the empty unit (ISO in the bundled one).
sort_field=$("${tool[@]}" columns "$S/plugin/Config.txt" \
  | awk -F'\t' '($3 == "ft_numeric_32" || $3 == "ft_numeric_64") && $4 == "" { print $1; exit }')
[ -n "$sort_field" ] || dc_die "$config_arg has no integer field to sort by"

"${tool[@]}" manifest --plugin-config "$S/plugin/Config.txt" --sort-field "$sort_field" \
  --out "$S/columns.json" || dc_die "cannot read the fields of $config_arg"
# What the cells must show, worked out while the host starts and runs.
"${tool[@]}" expect --manifest "$S/columns.json" --photos "$S/photos" --out "$S/expected.json" \
  >"$S/expect.log" 2>&1 &
expect_pid=$!
echo "dc: [$(elapsed)] photos made"

dc_start_x 1600 900
dc_seed_config "$S/dc"
echo "dc: [$(elapsed)] Double Commander wrote its default configuration"
dc_configure "$S/dc" "$S/plugin/Veltamo.wdx" "$S/columns.json" "$S/photos" "$S/empty"

# How the host ended, from its exit status.
host_end() {
  local status=$1
  if [ "$status" -gt 128 ]; then
    echo "killed by signal $((status - 128)) ($(kill -l $((status - 128)) 2>/dev/null))"
  else
    echo "exit status $status"
  fi
}

# Waits up to TOOL_END_TIMEOUT s for no exiftool of this run to be left;
# reports the check as "no exiftool left $1". $2: the exiftool PIDs seen
# below the host before it ended (none: nothing to judge).
check_no_tool_left() {
  local what=$1 seen=$2 left i
  if [ -z "$seen" ] && [ -z "$(dc_run_exiftools)" ]; then
    fail "no exiftool left $what: not judged, none had been started"
    return
  fi
  for ((i = 0; i <= TOOL_END_TIMEOUT * 10; i++)); do
    left=$(dc_run_exiftools)
    [ -z "$left" ] && break
    sleep 0.1
  done
  if [ -z "$left" ]; then
    pass "no exiftool left $what"
  else
    fail "exiftool still running ${TOOL_END_TIMEOUT} s $what: $(echo "$left" | cut -c1-60 | tr '\n' ';')"
    local pid
    for pid in $(echo "$left" | cut -d' ' -f1); do kill -9 "$pid" 2>/dev/null; done
  fi
}

# ------------------------------------------------ run 1: values, sorting, exit
echo "dc: [$(elapsed)] run 1: showing $S/photos"
DC_START_SOFT=1 dc_start "$S/dc"
expect_ready=0
deadline=$(($(date +%s) + VALUES_TIMEOUT))
tools_seen=""
while :; do
  if ! dc_alive; then break; fi
  for pid in $(dc_child_exiftools); do
    case " $tools_seen " in *" $pid "*) ;; *) tools_seen="$tools_seen $pid" ;; esac
  done
  if [ $expect_ready -eq 0 ]; then
    wait "$expect_pid" || dc_die "working out the expected values failed: $(tail -3 "$S/expect.log")"
    expect_ready=1
    # On a busy machine the one-shot runs can take longer than the host
    # takes to fill its cells: the wait for the cells starts now.
    deadline=$(($(date +%s) + VALUES_TIMEOUT))
    echo "dc: [$(elapsed)] expected values ready; reading the panel until it matches or ${VALUES_TIMEOUT} s pass"
  fi
  dc_read_panel "$S/shown.txt"
  if "${tool[@]}" compare --quiet --manifest "$S/columns.json" --expected "$S/expected.json" \
       --shown "$S/shown.txt"; then
    break
  fi
  [ "$(date +%s)" -ge "$deadline" ] && break
  sleep 0.5
done
[ $expect_ready -eq 1 ] || wait "$expect_pid" || dc_die "working out the expected values failed"
echo "dc: [$(elapsed)] last reading of the panel"

while read -r line; do
  case "$line" in
    PASS*|FAIL*) results+=("$line") ;;
  esac
  echo "$line"
done < <("${tool[@]}" compare --manifest "$S/columns.json" --expected "$S/expected.json" \
           --shown "$S/shown.txt")
# What a photographer looks at first, with the bundled columns: the lens of
# the Canon and Nikon photos, which their cameras name only in the maker
# note, and no date at all for the camera whose clock was never set.
# (Skipped for a Config.txt without a "Lens" or "Date taken" column.)
check_cell() {
  local title=$1 file=$2 want=$3 cell status=0
  cell=$("${tool[@]}" cell --manifest "$S/columns.json" --expected "$S/expected.json" \
           --shown "$S/shown.txt" --title "$title" --file "$file") || status=$?
  [ $status -eq 3 ] && return
  if [ $status -ne 0 ]; then
    fail "$title of $file: the row is not shown"
  elif [ "$want" = filled ] && [ -n "$cell" ]; then
    pass "$title of $file shown: $cell"
  elif [ "$want" = empty ] && [ -z "$cell" ]; then
    pass "$title of $file (DateTimeOriginal 0000:00:00 00:00:00) shown empty"
  else
    fail "$title of $file: shown '$cell', expected it $want"
  fi
}
for photo in IMG_5120.JPG IMG_5121.CR2 DSC_0042.JPG DSC_0043.NEF; do
  check_cell Lens "$photo" filled
done
check_cell "Date taken" IMG_0001.JPG empty

# A host that crashed early may have had no poll see its exiftool below it;
# the run's mark still tells the ones it started.
for pid in $(dc_child_exiftools) $(dc_run_exiftools | cut -d' ' -f1); do
  case " $tools_seen " in *" $pid "*) ;; *) tools_seen="$tools_seen $pid" ;; esac
done
if [ -n "$tools_seen" ]; then
  pass "the plugin started exiftool in Double Commander (pid$tools_seen)"
else
  fail "the plugin started no exiftool in Double Commander"
fi
if dc_alive; then
  pass "Double Commander still running after showing the values"
  dc_quit
  status=$?
  if [ $status -eq 0 ]; then
    pass "Double Commander closed normally with its Exit command"
  elif [ $status -eq 124 ]; then
    fail "Double Commander did not close within $((DC_EXIT_TIMEOUT / 10)) s of its Exit command"
    dc_windows
    kill -9 "$DC_PID" 2>/dev/null
    DC_PID=""
  else
    fail "Double Commander ended badly on Exit: $(host_end $status)"
    DC_PID=""
  fi
  check_no_tool_left "after Double Commander closed" "$tools_seen"
else
  status=0
  wait "$DC_PID" 2>/dev/null || status=$?
  DC_PID=""
  fail "Double Commander ended by itself while showing the photos: $(host_end $status)"
  check_no_tool_left "after Double Commander ended" "$tools_seen"
fi

# ------------------------------------------- run 2: killed while the tool waits
# The host is killed once the panel shows what it showed in run 1 (or shows
# the same twice in a row): all values are in, and exiftool sits waiting
# for the next request. (Killed in the middle of a request, exiftool would
# die anyway of writing to a pipe nobody reads, which proves nothing.)
echo "dc: [$(elapsed)] run 2: killing Double Commander (SIGKILL) once the panel is filled in"
DC_START_SOFT=1 dc_start "$S/dc"
running=""
deadline=$(($(date +%s) + VALUES_TIMEOUT))
: >"$S/shown2.txt"
while dc_alive; do
  cp "$S/shown2.txt" "$S/shown2.before"
  dc_read_panel "$S/shown2.txt"
  running=$(dc_child_exiftools)
  if [ -n "$running" ] && [ -s "$S/shown2.txt" ]; then
    cmp -s "$S/shown2.txt" "$S/shown.txt" && break
    cmp -s "$S/shown2.txt" "$S/shown2.before" && break
  fi
  [ "$(date +%s)" -ge "$deadline" ] && break
  sleep 0.3
done
if ! dc_alive; then
  status=0
  wait "$DC_PID" 2>/dev/null || status=$?
  DC_PID=""
  fail "Double Commander ended by itself in run 2: $(host_end $status)"
  check_no_tool_left "after Double Commander ended in run 2" "$running"
elif [ -z "$running" ]; then
  fail "run 2: no exiftool started within $VALUES_TIMEOUT s, so killing the host proves nothing"
else
  kill -9 "$DC_PID"
  wait "$DC_PID" 2>/dev/null
  DC_PID=""
  check_no_tool_left "after Double Commander was killed" "$running"
fi

# ------------------------------------------------------------------ summary
failed=0
echo
echo "dc: summary ($(($(date +%s) - started)) s)"
for r in "${results[@]}"; do
  echo "  $r"
  case "$r" in FAIL*) failed=$((failed + 1)) ;; esac
done
passed=$((${#results[@]} - failed))
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
