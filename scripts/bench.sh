#!/usr/bin/env bash
# Builds an optimised tree (build/bench: Release, no sanitizers, no tests)
# with the module and the same module built without batching, makes the
# benchmark photos and measures the fill time of a file manager's view four
# ways (both modules, and raw stay-open loops sending their requests), the
# values of all four compared, and memory over 10,000 distinct files.
# Usage: bench.sh [N photos, default 1000] [more veltamo_bench options...]
#        e.g. bench.sh 1000 --rounds 5
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
count=${1:-1000}
[ $# -gt 0 ] && shift
tool=$(command -v exiftool || true)
[ -n "$tool" ] || { echo "exiftool is not installed" >&2; exit 1; }
tool=$(readlink -f "$tool")

cmake -S "$root" -B "$build" -G Ninja -DVELTAMO_SANITIZE=OFF -DVELTAMO_TESTS=OFF \
  -DVELTAMO_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target veltamo_module veltamo_module_single veltamo_bench
bash "$root/bench/make_bench_photos.sh" "$build/photos" "$count"

work="$build/plugin"
rm -rf "$work"
exec "$build/bench/veltamo_bench" --photos "$build/photos" --names "$build/photos/names" \
  --config "$root/dist/Config.txt" --tool "$tool" --work "$work" "$@"
