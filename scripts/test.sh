#!/usr/bin/env bash
# Everything: install what is missing, build the four trees, run every test
# natively (the core's and the module's also under ThreadSanitizer) and, for
# the Windows build, under Wine, the Linux module in a real file manager
# (Double Commander, and sorting a folder there), then a fuzz smoke run.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" || exit 1
bash "$root/scripts/build.sh" || exit 1
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
extra=0 extra_failed=0  # runs that are not ctest's: each counts as one test
echo "== native tests"
ctest --test-dir "$root/build/native" --output-on-failure -j 2 2>&1 | tee -a "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
echo "== native tests under ThreadSanitizer"
ctest --test-dir "$root/build/tsan" --output-on-failure -j 2 -R '^(make_photos|unit_tests|module_tests)$' \
  2>&1 | tee -a "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
echo "== Windows tests (under Wine)"
ctest --test-dir "$root/build/windows" --output-on-failure -j 2 2>&1 | tee -a "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
echo "== the Linux module in Double Commander"
extra=$((extra + 1))
if ! bash "$root/tests/dc/dc_test.sh" "$root/build/linux/Veltamo.wdx"; then
  extra_failed=$((extra_failed + 1)); status=1
fi
echo "== Double Commander sorting 300 photos by Date taken"
extra=$((extra + 1))
if ! bash "$root/tests/dc/dc_sort_test.sh" "$root/build/linux/Veltamo.wdx"; then
  extra_failed=$((extra_failed + 1)); status=1
fi
echo "== Double Commander renaming 300 photos by Date taken and Camera model"
extra=$((extra + 1))
if ! bash "$root/tests/dc/dc_rename_test.sh" "$root/build/linux/Veltamo.wdx"; then
  extra_failed=$((extra_failed + 1)); status=1
fi
echo "== fuzz smoke run (a few seconds per target)"
extra=$((extra + 3))
if ! bash "$root/scripts/fuzz.sh" 5; then extra_failed=$((extra_failed + 1)); status=1; fi
# One closing line for the ctest runs and the others.
read -r total failed < <(awk '/tests failed out of/ { t += $NF; f += $(NF-5) }
                               END { print t + 0, f + 0 }' "$log")
total=$(( total + extra )); failed=$(( failed + extra_failed ))
[ "$total" -gt "$extra" ] || status=1
echo "tests: $(( total - failed )) passed, $failed failed"
exit $status
