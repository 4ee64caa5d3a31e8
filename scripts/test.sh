#!/usr/bin/env bash
# Everything: install what is missing, build both trees, run every test
# natively and, for the Windows build, under Wine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
status=0
echo "== native tests"
ctest --test-dir "$root/build/native" --output-on-failure -j 2 || status=1
echo "== Windows tests (under Wine)"
ctest --test-dir "$root/build/windows" --output-on-failure -j 2 || status=1
echo "== fuzz smoke run (a few seconds per target)"
bash "$root/scripts/fuzz.sh" 5 || status=1
exit $status
