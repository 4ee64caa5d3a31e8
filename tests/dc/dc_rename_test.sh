#!/usr/bin/env bash
# Renaming a folder of 300 photos with Double Commander's multi-rename tool
# by two of the plugin's fields: all files selected (Ctrl+A), the tool
# opened (Ctrl+M), the mask "[=Plugin(Veltamo).Date taken (text){}]_
# [=Plugin(Veltamo).Camera model{}]" typed as a user types it (the preview
# asks its rows' values at each key), then Rename (Alt+R). It checks what
# the user gets: the folder then holds exactly the names that one exiftool
# run over it printed before, and each file, read again by exiftool, is
# named after its own date and model. It also tells how long the host took
# for the rename: from just before Alt+R to the return of the last value
# call for the photos' old names, and how many value calls that was.
#
# The calls are seen through tests/dc/call_recorder.c, as in
# tests/dc/dc_sort_test.sh.
#
# Usage: tests/dc/dc_rename_test.sh [MODULE | --no-read-ahead]
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

PHOTOS=${DC_RENAME_PHOTOS:-300}
MASK='[=Plugin(Veltamo).Date taken (text){}]_[=Plugin(Veltamo).Camera model{}]'
# Seconds: for the first screen of values, for the tool's window, for the
# rename.
SHOW_TIMEOUT=${DC_VALUES_TIMEOUT:-20}
WINDOW_TIMEOUT=20
RENAME_TIMEOUT=${DC_RENAME_TIMEOUT:-60}

started=$(date +%s)
results=()
pass() { results+=("PASS $*"); echo "PASS $*"; }
fail() { results+=("FAIL $*"); echo "FAIL $*"; }
elapsed() { echo "$(($(date +%s) - started)) s"; }

dc_env_init
trap dc_env_cleanup EXIT
S=$DC_SCRATCH

mkdir -p "$S/empty"
dc_install_recorder "$S/plugin" "$module_arg"
echo "dc-rename: module $module_arg"

bash "$here/make_sort_photos.sh" "$S/photos" "$PHOTOS" || dc_die "cannot make the test photos"
perl "$here/dc_tool.pl" manifest --plugin-config "$S/plugin/Config.txt" --only-field "Date taken" \
  --out "$S/columns.json" || dc_die "dist/Config.txt has no field 'Date taken'"
# The names the mask must give, before the host starts.
exiftool -q -fast -T -FileName -DateTimeOriginal -Model "$S/photos" >"$S/before.tsv" \
  || dc_die "exiftool could not read $S/photos"
awk -F'\t' '{ print $2 "_" $3 ".jpg" }' "$S/before.tsv" | sort >"$S/expected.txt"
[ "$(sort -u "$S/expected.txt" | wc -l)" -eq "$PHOTOS" ] \
  || dc_die "the test photos' dates and models do not give $PHOTOS distinct names"
echo "dc-rename: [$(elapsed)] $PHOTOS photos made"

dc_start_x 1600 900
dc_seed_config "$S/dc"
dc_configure "$S/dc" "$S/plugin/Veltamo.wdx" "$S/columns.json" "$S/photos" "$S/empty"

log=$S/calls.log
: >"$log"
VELTAMO_DC_CALL_LOG=$log DC_START_SOFT=1 dc_start "$S/dc" || dc_die "Double Commander ended at start"
dc_wait_quiet "$log" 1 "$SHOW_TIMEOUT" \
  || dc_die "no values shown within $SHOW_TIMEOUT s ($(wc -l <"$log") calls)"
echo "dc-rename: [$(elapsed)] the first screen asked $(wc -l <"$log") values"

# Keys go to the window that has the keyboard focus: the tool's once the
# window manager has made it active and it holds the focus (a new window
# may not be at once, and the main window may take the focus back).
tool_focused() {
  xdotool windowactivate --sync "$tool_win" >/dev/null 2>&1 || true
  sleep 0.3
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$tool_win" ] \
    && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$tool_win" ]
}
# Opens the tool over every file of the panel (Ctrl+A, Ctrl+M); sets
# tool_win. A key lost at start leaves no file selected, which the host
# says in a message box: that is closed and the keys sent again.
open_tool() {
  local attempt i box
  for ((attempt = 0; attempt < 3; attempt++)); do
    dc_focus
    xdotool key --clearmodifiers ctrl+a 2>/dev/null
    sleep 0.3
    xdotool key --clearmodifiers ctrl+m 2>/dev/null
    for ((i = 0; i < WINDOW_TIMEOUT * 10; i++)); do
      tool_win=$(xdotool search --all --onlyvisible --pid "$DC_PID" --name '^Multi-Rename Tool' 2>/dev/null | head -1)
      [ -z "$tool_win" ] || return 0
      box=$(xdotool search --all --onlyvisible --pid "$DC_PID" --name '^Double Commander$' 2>/dev/null | head -1)
      if [ -n "$box" ]; then
        xdotool windowactivate --sync "$box" key --clearmodifiers Return 2>/dev/null
        sleep 0.5
        break
      fi
      sleep 0.1
    done
  done
  return 1
}
# Types the mask into the tool's name mask field (which has the focus when
# the tool opens) until it reads back whole, the tool keeping the focus.
type_mask() {
  local attempt typed
  for ((attempt = 0; attempt < 3; attempt++)); do
    if ! dc_poll 50 tool_focused; then continue; fi
    xdotool key --clearmodifiers ctrl+a 2>/dev/null
    xdotool type --clearmodifiers --delay 20 "$MASK" 2>/dev/null
    sleep 0.5
    if ! tool_focused; then
      # The keys went to the main window's quick search: close it.
      dc_focus
      xdotool key --clearmodifiers Escape 2>/dev/null
      continue
    fi
    xdotool key --clearmodifiers ctrl+a ctrl+c 2>/dev/null
    sleep 0.3
    typed=$(timeout 5 xclip -o -selection clipboard 2>/dev/null)
    [ "$typed" != "$MASK" ] || return 0
  done
  return 1
}

tool_win=""
open_tool || dc_die "no Multi-Rename Tool window within $WINDOW_TIMEOUT s"
before_typing=$(wc -l <"$log")
type_mask || dc_die "the Multi-Rename Tool's name mask could not be typed"
dc_wait_quiet "$log" 1 "$SHOW_TIMEOUT" || dc_die "the preview did not settle"
preview=$(($(wc -l <"$log") - before_typing))
echo "dc-rename: [$(elapsed)] the mask typed; the preview asked $preview values"
# The preview shows the new names of its rows as the mask is typed.
[ "$preview" -gt 0 ] || dc_die "the preview asked no values: the mask did not reach the tool"

# The rename.
before=$(wc -l <"$log")
dc_poll 50 tool_focused || dc_die "the Multi-Rename Tool does not take the focus for Alt+R"
t0=$(dc_now)
xdotool key --clearmodifiers alt+r 2>/dev/null
deadline=$(($(date +%s) + RENAME_TIMEOUT))
while [ "$(date +%s)" -lt "$deadline" ] && ls "$S/photos" | grep -q '^IMG_'; do sleep 0.2; done
dc_wait_quiet "$log" "$before" "$RENAME_TIMEOUT" || fail "the host's value calls did not settle"
echo "dc-rename: [$(elapsed)] the rename is done"

# The calls for the mask's fields of the old names (the panel asks its own
# column meanwhile, and for the new names after).
mask_fields=$(perl "$here/dc_tool.pl" columns "$S/plugin/Config.txt" | cut -f1 | uniq \
  | awk '$0 == "Date taken (text)" || $0 == "Camera model" { printf "%s%d", sep, NR - 1; sep = "," }')
read -r calls last files < <(awk -v t0="$t0" -v fields="$mask_fields" '
  BEGIN { split(fields, f, ","); for (i in f) mask[f[i]] = 1 }
  $1 >= t0 && ($4 in mask) && $8 ~ /\/IMG_[0-9]+\.jpg$/ {
    n++; if ($2 > last) last = $2; if (!seen[$8]++) files++ }
  END { printf "%d %.6f %d\n", n, last, files }' "$log")
if [ "$calls" -gt 0 ]; then
  echo "dc-rename: renaming $PHOTOS photos by two fields: $(perl -e "printf '%.2f', $last - $t0") s" \
       "from Alt+R to the return of the last value call for an old name; $calls value calls" \
       "for fields $mask_fields of $files files ($preview for the preview as the mask was typed)"
fi
if [ "$files" -eq "$PHOTOS" ]; then
  pass "the host asked values of every photo for the rename"
else
  fail "the host asked values of $files files for the rename, not $PHOTOS"
fi

ls "$S/photos" | sort >"$S/after.txt"
if cmp -s "$S/expected.txt" "$S/after.txt"; then
  pass "the folder holds the $PHOTOS names one exiftool run printed the dates and models for"
else
  fail "the folder's names differ from those exiftool's dates and models give:"
  diff "$S/expected.txt" "$S/after.txt" | head -10
fi
exiftool -q -fast -T -FileName -DateTimeOriginal -Model "$S/photos" >"$S/after.tsv"
wrong=$(awk -F'\t' '$1 != $2 "_" $3 ".jpg"' "$S/after.tsv")
if [ -s "$S/after.tsv" ] && [ -z "$wrong" ]; then
  pass "every file is named after its own date and model, as exiftool reads them"
else
  fail "files named after another file's values: $(echo "$wrong" | head -3)"
fi

if dc_alive; then
  xdotool windowactivate --sync "$tool_win" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers Escape 2>/dev/null
  dc_quit
  status=$?
  if [ $status -eq 0 ]; then
    pass "Double Commander closed normally after the rename"
  else
    fail "Double Commander did not close normally after the rename (status $status)"
  fi
else
  fail "Double Commander ended by itself during the rename"
fi

echo
echo "dc-rename: summary ($(elapsed))"
failed=0
for r in "${results[@]}"; do
  echo "  $r"
  case "$r" in FAIL*) failed=$((failed + 1)) ;; esac
done
echo "$((${#results[@]} - failed)) passed, $failed failed"
[ $failed -eq 0 ]
