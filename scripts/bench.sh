#!/usr/bin/env bash
# Builds an optimised tree (build/bench: Release, no sanitizers, no tests),
# makes the benchmark photos and measures the module's value throughput
# against a raw stay-open loop and one process per value.
# Usage: bench.sh [N photos, default 1000] [more veltamo_bench options...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
count=${1:-1000}
[ $# -gt 0 ] && shift
tool=$(command -v exiftool || true)
[ -n "$tool" ] || { echo "exiftool is not installed" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DVELTAMO_SANITIZE=OFF -DVELTAMO_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target veltamo_module veltamo_bench
bash "$root/bench/make_bench_photos.sh" "$build/photos" "$count"

work="$build/plugin"
rm -rf "$work"
exec "$build/bench/veltamo_bench" --module "$build/libveltamo.so" --photos "$build/photos" \
  --config "$root/dist/Config.txt" --tool "$tool" --work "$work" "$@"
