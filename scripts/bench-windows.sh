#!/usr/bin/env bash
# The view's fill time for the Windows module under Wine, with Exiftool's
# Windows package (the pinned release) beside it: builds build/bench-windows
# (Release, no tests), makes N benchmark photos and runs veltamo_win_fill.
# Usage: bench-windows.sh [N photos, default 200] [ROUNDS, default 1]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench-windows"
count=${1:-200}
rounds=${2:-1}
bash "$root/scripts/setup.sh"
. "$root/scripts/exiftool-release.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DVELTAMO_TESTS=OFF -DVELTAMO_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target veltamo_module veltamo_win_fill
bash "$root/bench/make_bench_photos.sh" "$build/photos" "$count"
bash "$root/scripts/wine-prefix.sh" "$build/wineprefix"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
rm -rf "$build/plugin"
TZ=UTC bash "$root/scripts/wine-run.sh" "$build/wineprefix" "$build/bench/veltamo_win_fill.exe" \
  "$(winpath "$build/Veltamo.wdx64")" "$(winpath "$root/dist/Config.txt")" \
  "$(winpath "$exiftool_cache/exe/bin/exiftool.exe")" "$(winpath "$build/photos")" \
  "$(winpath "$build/plugin")" "$rounds"
