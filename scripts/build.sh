#!/usr/bin/env bash
# Configures and builds build/native (Linux, with sanitizers) and
# build/windows (the real Veltamo.wdx64, cross-compiled with MinGW-w64).
# Usage: build.sh [native|windows]   (default: both)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
which=${1:-both}
if [ "$which" != windows ]; then
  cmake -S "$root" -B "$root/build/native" -G Ninja >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
fi
if [ "$which" != native ]; then
  cmake -S "$root" -B "$root/build/windows" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/windows" -j "$jobs"
fi
