#!/usr/bin/env bash
# Everything: install what is missing, build both trees, run every test
# natively and, for the Windows build, under Wine, then a fuzz smoke run.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" || exit 1
bash "$root/scripts/build.sh" || exit 1
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
echo "== native tests"
ctest --test-dir "$root/build/native" --output-on-failure -j 2 2>&1 | tee -a "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
echo "== Windows tests (under Wine)"
ctest --test-dir "$root/build/windows" --output-on-failure -j 2 2>&1 | tee -a "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
echo "== fuzz smoke run (a few seconds per target)"
if bash "$root/scripts/fuzz.sh" 5; then fuzz_failed=0; else fuzz_failed=1; status=1; fi
# One closing line for both ctest runs and the fuzz run.
read -r total failed < <(awk '/tests failed out of/ { t += $NF; f += $(NF-5) }
                               END { print t + 0, f + 0 }' "$log")
total=$(( total + 3 )); failed=$(( failed + fuzz_failed ))
[ "$total" -gt 3 ] || status=1
echo "tests: $(( total - failed )) passed, $failed failed"
exit $status
