#!/usr/bin/env bash
# The main job: the real Veltamo.wdx64, loaded by the host program under Wine
# with the bundled default Config.txt, shows the bundled sample photos.
# Usage: demo.sh [FOLDER [CONFIG]]   (defaults: samples/ and dist/Config.txt)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(cd "${1:-$root/samples}" && pwd)
config=${2:-$root/dist/Config.txt}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" windows >/dev/null
win=$root/build/windows
bash "$root/scripts/wine-prefix.sh" "$win/wineprefix"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# The plugin folder a user would have: module, Config.txt and exiftool.exe
# (here the Wine bridge to /usr/bin/exiftool).
plugin=$win/demo/Veltamo
rm -rf "$plugin" && mkdir -p "$plugin"
cp "$win/Veltamo.wdx64" "$win/testtools/exiftool.exe" "$plugin/"
cp "$config" "$plugin/Config.txt"
run() { bash "$root/scripts/wine-run.sh" "$win/wineprefix" "$win/veltamo_host.exe" "$@"; }
echo "== Fields of $(basename "$config")"
run "$(winpath "$plugin/Veltamo.wdx64")" list
echo
echo "== Values for $folder"
run "$(winpath "$plugin/Veltamo.wdx64")" table "$(winpath "$folder")"
