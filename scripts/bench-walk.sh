#!/usr/bin/env bash
# Builds the optimised tree (build/bench: Release, no sanitizers, no tests)
# with the module (reading ahead, VELTAMO_READ_AHEAD=ON) and the same module
# built without reading ahead, makes the benchmark photos and measures a
# host's walks through the folder: a sort by one field (name order and
# listing order) and a screen of 40 files x every field, against a raw
# stay-open Exiftool; every value compared with one-shot Exiftool's.
# Usage: bench-walk.sh [N photos, default 1000] [more veltamo_walk_bench options...]
#        e.g. bench-walk.sh 1000 --rounds 5   (rounds default 5)
#             bench-walk.sh 200 --rounds 1 --field ISO
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
count=${1:-1000}
[ $# -gt 0 ] && shift
tool=$(command -v exiftool || true)
[ -n "$tool" ] || { echo "exiftool is not installed" >&2; exit 1; }
tool=$(readlink -f "$tool")

cmake -S "$root" -B "$build" -G Ninja -DVELTAMO_SANITIZE=OFF -DVELTAMO_TESTS=OFF \
  -DVELTAMO_BENCH=ON -DVELTAMO_READ_AHEAD=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target veltamo_module veltamo_module_noahead veltamo_walk_bench
bash "$root/bench/make_bench_photos.sh" "$build/photos" "$count"

work="$build/walk"
rm -rf "$work"
exec "$build/bench/veltamo_walk_bench" --photos "$build/photos" --names "$build/photos/names" \
  --config "$root/dist/Config.txt" --tool "$tool" --work "$work" "$@"
