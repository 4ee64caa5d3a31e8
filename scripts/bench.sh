#!/usr/bin/env bash
# Builds an optimised tree (build/bench: Release, no sanitizers, no tests)
# with the module and the same module built without batching, makes the
# benchmark photos and measures the fill time of a file manager's view four
# ways (both modules, and raw stay-open loops sending their requests), the
# values of all four compared, and memory over 10,000 distinct files.
# Usage: bench.sh [N photos, default 1000] [more veltamo_bench options...]
#        e.g. bench.sh 1000 --rounds 5
set -eu
# shellcheck source=bench-common.sh
source "$(dirname "$0")/bench-common.sh"
bench_build veltamo_module veltamo_module_single veltamo_module_noahead veltamo_bench

work="$build/plugin"
rm -rf "$work"
exec "$build/bench/veltamo_bench" --photos "$build/photos" --names "$build/photos/names" \
  --config "$root/dist/Config.txt" --tool "$tool" --work "$work" "$@"
