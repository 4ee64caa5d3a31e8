#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz into build/fuzz and runs each for
# a bounded time on a copy of its committed corpus.
# Usage: fuzz.sh [SECONDS_PER_TARGET] [TARGET...]   (default: 60, all targets)
#   fuzz.sh 5      a smoke run of a few seconds per target (CI)
# Exits non-zero when a target crashes or fails one of its checks; what made
# it fail is left in build/fuzz/artifacts/<target>/.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
case $seconds in
  '' | *[!0-9]*) echo "fuzz.sh: SECONDS_PER_TARGET must be a whole number" >&2; exit 2 ;;
esac
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_config fuzz_reply fuzz_convert)
build=$root/build/fuzz

# clang++ with libFuzzer's runtime: install it where it is missing.
fuzzer_links() {
  command -v clang++ >/dev/null 2>&1 || return 1
  local probe
  probe=$(mktemp -d)
  printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }' \
    >"$probe/probe.cpp"
  local ok=0
  clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" \
    >/dev/null 2>&1 || ok=1
  rm -rf "$probe"
  return $ok
}
if ! fuzzer_links; then
  sudo_cmd=
  [ "$(id -u)" = 0 ] || sudo_cmd=sudo
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev cmake
  fuzzer_links || { echo "fuzz.sh: clang++ -fsanitize=fuzzer does not link" >&2; exit 2; }
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root/tests/fuzz" -B "$build" "${generator[@]}" \
    -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
echo "== building the fuzz targets"
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

max_len() {
  case $1 in
    fuzz_config) echo 65536 ;;
    *) echo 4096 ;;
  esac
}

status=0
summary=()
for target in "${targets[@]}"; do
  work=$build/work/$target
  artifacts=$build/artifacts/$target
  log=$build/$target.log
  # New corpus entries go to the scratch copy, never into the repository.
  rm -rf "$work" "$artifacts"
  mkdir -p "$work" "$artifacts"
  if [ -d "$root/tests/fuzz/corpus/$target" ]; then
    cp "$root/tests/fuzz/corpus/$target"/* "$work"/ 2>/dev/null || true
  fi
  echo "== $target: ${seconds}s, max_len $(max_len "$target")"
  rc=0
  "$build/$target" "$work" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^Done \([0-9][0-9]*\) runs in.*/\1/p' "$log" | tail -n 1)
  [ -n "$runs" ] ||
    runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
  [ -n "$runs" ] ||
    runs=$(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
  [ -n "$runs" ] || runs=0
  found=$(find "$artifacts" -type f | head -n 1)
  if [ "$rc" -ne 0 ] || [ -n "$found" ]; then
    status=1
    result=FAILED
    echo "   $target FAILED (exit $rc) after $runs executions; log: $log"
    grep -E '^(fuzz_[a-z]+: |==[0-9]+==ERROR|SUMMARY:|.*runtime error)' "$log" | head -n 5 | sed 's/^/   /'
    [ -z "$found" ] || echo "   reproducer: $found"
  else
    result=ok
    echo "   $target: $runs executions, no failure"
  fi
  summary+=("$target $runs runs $result")
done

line="fuzz summary (${seconds}s per target):"
separator=" "
for entry in "${summary[@]}"; do
  line="$line$separator$entry"
  separator=" | "
done
echo "$line"
exit $status
