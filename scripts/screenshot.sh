#!/usr/bin/env bash
# Takes a screenshot of Double Commander (on a private X server) showing the
# plugin's columns on the bundled sample photos (samples/) with the bundled
# dist/Config.txt. Usage: scripts/screenshot.sh [OUTPUT.png]
# (default docs/double-commander.png).
#
# The Linux module is build/linux/Veltamo.wdx; VELTAMO_MODULE names another
# one, VELTAMO_CONFIG another Config.txt. The picture is taken once every
# cell shows what one-shot exiftool prints (the same reading as
# tests/dc/dc_test.sh); if that does not happen within 20 s it is taken all
# the same, the differences are listed and the script exits 1.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/double-commander.png}
module=${VELTAMO_MODULE:-$root/build/linux/Veltamo.wdx}
config=${VELTAMO_CONFIG:-$root/dist/Config.txt}
bash "$root/scripts/setup.sh" || exit 1
# shellcheck source=../tests/dc/dc_env.sh
source "$root/tests/dc/dc_env.sh"

[ -f "$module" ] || dc_die "no Linux module at $module (build it, or set VELTAMO_MODULE)"
[ -f "$config" ] || dc_die "no Config.txt at $config"
module=$(cd "$(dirname "$module")" && pwd)/$(basename "$module")
config=$(cd "$(dirname "$config")" && pwd)/$(basename "$config")
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

dc_env_init
trap dc_env_cleanup EXIT
S=$DC_SCRATCH
tool=(perl "$DC_TESTS_DIR/dc_tool.pl")
mkdir -p "$S/plugin" "$S/empty" "$S/samples"
cp "$module" "$S/plugin/Veltamo.wdx"
cp "$config" "$S/plugin/Config.txt"
cp "$root"/samples/* "$S/samples/"

"${tool[@]}" manifest --plugin-config "$S/plugin/Config.txt" --first-unit-only \
  --out "$S/columns.json" || dc_die "cannot read the fields of $config"
"${tool[@]}" expect --manifest "$S/columns.json" --photos "$S/samples" --out "$S/expected.json" \
  || dc_die "cannot work out the expected values"

# One column per field (its first unit) as wide as its longest value; the
# left panel takes 95 % of the window.
width=2600
height=580
dc_start_x "$width" "$height"
dc_seed_config "$S/dc"
dc_configure "$S/dc" "$S/plugin/Veltamo.wdx" "$S/columns.json" "$S/samples" "$S/empty" \
  --widths-from "$S/expected.json" --splitter 95 --fit-width $((width * 95 / 100 - 30))

dc_start "$S/dc"
matched=0
for ((i = 0; i < 40; i++)); do
  dc_alive || dc_die "Double Commander ended while showing the samples"
  dc_focus
  xdotool key --clearmodifiers ctrl+a "$DC_COPY_KEY" 2>/dev/null
  sleep 0.3
  timeout 5 xclip -o -selection clipboard >"$S/shown.txt" 2>/dev/null || : >"$S/shown.txt"
  if "${tool[@]}" compare --quiet --manifest "$S/columns.json" --expected "$S/expected.json" \
       --shown "$S/shown.txt"; then
    matched=1
    break
  fi
  sleep 0.2
done
# Unselect (Ctrl+Num-, cm_MarkUnmarkAll), put the cursor on "..", and let
# the panel repaint.
xdotool key --clearmodifiers ctrl+KP_Subtract Home 2>/dev/null
sleep 1
import -window root "$out" || dc_die "cannot take the screenshot"
echo "screenshot: $out"
if [ $matched -eq 0 ]; then
  "${tool[@]}" compare --manifest "$S/columns.json" --expected "$S/expected.json" --shown "$S/shown.txt"
  echo "screenshot: the picture does not show what exiftool prints (see above)" >&2
  exit 1
fi
dc_quit || true
