#!/usr/bin/env bash
# Builds the optimised tree (build/bench: Release, no sanitizers, no tests)
# with the module (reading ahead, VELTAMO_READ_AHEAD=ON) and the same module
# built without reading ahead, makes the benchmark photos and measures a
# host's walks: a sort by one field (name order and listing order), a Find
# Files search through a tree of 6 folders (0.9 N photos), the multi-rename
# tool's preview and pass over a folder (N/4 photos, at least 20) and a
# screen of 40 files x every field, against a raw stay-open Exiftool; every
# value compared with one-shot Exiftool's.
# Usage: bench-walk.sh [N photos, default 1000] [more veltamo_walk_bench options...]
#        e.g. bench-walk.sh 1000 --rounds 5   (rounds default 5)
#             bench-walk.sh 200 --rounds 1 --field ISO
set -eu
# shellcheck source=bench-common.sh
source "$(dirname "$0")/bench-common.sh"
bench_build veltamo_module veltamo_module_noahead veltamo_walk_bench

work="$build/walk"
rm -rf "$work"
exec "$build/bench/veltamo_walk_bench" --photos "$build/photos" --names "$build/photos/names" \
  --config "$root/dist/Config.txt" --tool "$tool" --work "$work" "$@"
