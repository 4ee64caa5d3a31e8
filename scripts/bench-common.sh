# What the Linux benchmark scripts share, sourced by them with their own
# arguments: the photo count (first argument, default 1000, shifted off),
# Debian's Exiftool, and bench_build TARGET..., which configures and builds
# the optimised tree build/bench (Release, no sanitizers, no tests) and makes
# the benchmark photos.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/bench"
count=${1:-1000}
[ $# -gt 0 ] && shift
tool=$(command -v exiftool || true)
[ -n "$tool" ] || { echo "exiftool is not installed" >&2; exit 1; }
tool=$(readlink -f "$tool")

bench_build() {
  cmake -S "$root" -B "$build" -G Ninja -DVELTAMO_SANITIZE=OFF -DVELTAMO_TESTS=OFF \
    -DVELTAMO_BENCH=ON -DVELTAMO_READ_AHEAD=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" --target "$@"
  bash "$root/bench/make_bench_photos.sh" "$build/photos" "$count"
}
