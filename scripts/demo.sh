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
# The plugin folder a user would have: module, Config.txt, and Exiftool's
# Windows package (exiftool.exe and its exiftool_files/) beside them.
. "$root/scripts/exiftool-release.sh"
tool=$exiftool_cache/exe/bin
plugin=$win/demo/Veltamo
rm -rf "$plugin" && mkdir -p "$plugin"
cp "$win/Veltamo.wdx64" "$tool/exiftool.exe" "$plugin/"
cp -al "$tool/exiftool_files" "$plugin/" 2>/dev/null || cp -a "$tool/exiftool_files" "$plugin/"
cp "$config" "$plugin/Config.txt"
echo "== Exiftool $(bash "$root/scripts/wine-run.sh" "$win/wineprefix" "$plugin/exiftool.exe" -ver | tr -d '\r') for Windows, beside the module"
host() { bash "$root/scripts/wine-run.sh" "$win/wineprefix" "$win/veltamo_host.exe" "$@"; }
echo "== Fields of $(basename "$config")"
host "$(winpath "$plugin/Veltamo.wdx64")" list
echo
echo "== Values for $folder"
host "$(winpath "$plugin/Veltamo.wdx64")" table "$(winpath "$folder")"
