#!/usr/bin/env bash
# Configures and builds the three trees:
#   build/native   Linux, with AddressSanitizer and UBSan, and the tests
#   build/tsan     the same with ThreadSanitizer
#   build/linux    Veltamo.wdx as users install it (no sanitizers, stripped,
#                  debug information in Veltamo.wdx.debug) and its .tar.gz
#   build/windows  Veltamo.wdx64 cross-compiled with MinGW-w64, its zip, and
#                  the Windows tests
# Usage: build.sh [native|tsan|linux|windows]...   (default: all four)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
trees=("$@")
[ ${#trees[@]} -gt 0 ] || trees=(native tsan linux windows)
for tree in "${trees[@]}"; do
  case $tree in
    native)
      cmake -S "$root" -B "$root/build/native" -G Ninja >/dev/null ;;
    tsan)
      cmake -S "$root" -B "$root/build/tsan" -G Ninja -DVELTAMO_TSAN=ON >/dev/null ;;
    linux)
      cmake -S "$root" -B "$root/build/linux" -G Ninja -DVELTAMO_SANITIZE=OFF \
        -DVELTAMO_TESTS=OFF >/dev/null ;;
    windows)
      cmake -S "$root" -B "$root/build/windows" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null ;;
    *) echo "build.sh: unknown tree $tree" >&2; exit 2 ;;
  esac
  cmake --build "$root/build/$tree" -j "$jobs"
done
