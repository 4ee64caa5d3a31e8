#!/usr/bin/env bash
# The checker as users get it: unpacks the package (the Linux .tar.gz, or
# the Windows zip), puts TOOL beside the module (Windows: exiftool.exe and
# its exiftool_files/), then runs veltamo-check
#   - with no arguments, so with the bundled Config.txt beside it: the tool
#     found, no problem, exit 0;
#   - with a Config.txt of its own that has a mistyped tag, a refused tag and
#     a skipped line: each reported with its line, the closest name for the
#     mistyped tag, the values of PHOTO as the module delivers them, exit 1.
#
#   check_package.sh PACKAGE TOOL PHOTO [WINEPREFIX]
# PHOTO is the test photos' canon.jpg. With WINEPREFIX the package is the
# Windows zip and runs under Wine.
set -u
package=$(realpath -m "$1") tool=$2 photo=$3 prefix=${4:-}
fail() { echo "check_package: $*" >&2; exit 1; }
[ -f "$package" ] || fail "no package $package (build its tree first: scripts/build.sh)"

work=$(mktemp -d "${TMPDIR:-/tmp}/veltamo-check-XXXXXX")
trap 'rm -rf "$work"' EXIT
# Dates without a zone are local: a zone with daylight saving shows both.
export TZ=Europe/Berlin
if [ -n "$prefix" ]; then
  mkdir "$work/Veltamo"
  (cd "$work/Veltamo" && unzip -q "$package") || fail "cannot unzip $package"
  cp "$tool" "$work/Veltamo/" || fail "cannot copy the tool"
  cp -al "$(dirname "$tool")/exiftool_files" "$work/Veltamo/" 2>/dev/null ||
    cp -a "$(dirname "$tool")/exiftool_files" "$work/Veltamo/" || fail "cannot copy exiftool_files"
  checker=$work/Veltamo/veltamo-check.exe
  winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
  run() {
    local args=() a
    for a in "$@"; do args+=("$(winpath "$a")"); done
    WINEPREFIX=$prefix WINEDEBUG=-all wine "$checker" "${args[@]}" 2>/dev/null | tr -d '\r'
    return "${PIPESTATUS[0]}"
  }
else
  tar xzf "$package" -C "$work" || fail "cannot unpack $package"
  # The tool beside the module, where the module looks first.
  cp "$tool" "$work/Veltamo/exiftool" || fail "cannot copy the tool"
  checker=$work/Veltamo/veltamo-check
  # Started by a relative path, as "./veltamo-check" in its folder would be.
  run() { (cd "$work" && Veltamo/veltamo-check "$@"); }
fi
[ -f "$checker" ] || fail "the package holds no $(basename "$checker")"

expect() {  # expect OUTPUT-FILE PATTERN...: each pattern matches a line
  local out=$1 pattern; shift
  for pattern in "$@"; do
    grep -Eq -- "$pattern" "$out" || { cat "$out" >&2; fail "no line matches: $pattern"; }
  done
}

# No CONFIG: the bundled Config.txt beside the checker.
run > "$work/bundled.txt"
status=$?
expect "$work/bundled.txt" \
  "^configuration: .*Veltamo[/\\\\]Config\.txt\$" \
  '^tool: (/|[A-Z]:\\).*Veltamo[/\\]exiftool(\.exe)?, Exiftool [0-9]+\.[0-9]+ ' \
  '^line 4: field 0 "[^"]+": tag "[^"]+", type ' \
  ' 0 problems$'
[ "$status" -eq 0 ] || { cat "$work/bundled.txt" >&2; fail "the bundled Config.txt exited $status"; }

cp "$photo" "$work/canon.jpg"
printf '%s\n' "7 F	0" "exiftool	the tool" "on	tag	-	type	-	sort	name" \
  "1	Model	0	ft_stringw	0	1	Model" \
  "1	DateTimeOrginal	0	ft_datetime	0	-1	Taken (typo)" \
  "1	Model>FileName	0	ft_stringw	0	1	Renamer" \
  "1 ISO 0 ft_numeric_32 0 -1 ISO" \
  "1	DateTimeOriginal	0	ft_datetime	0	-1	Taken" \
  "1	ISO	0	ft_numeric_32	0	-1	ISO" > "$work/Config.txt"
run "$work/Config.txt" "$work/canon.jpg" > "$work/bad.txt"
status=$?
expect "$work/bad.txt" \
  '^line 1 \(header\): at most 7 fields, syntax "F", column separator tab, files: no prefixes: every file$' \
  '^line 2 \(tool\): "exiftool"$' \
  '^line 5: field 1 "Taken \(typo\)": tag "DateTimeOrginal", type ft_datetime \(10\), units none, sort descending$' \
  '^  problem: Exiftool [0-9.]+ knows no tag "DateTimeOrginal"; closest: DateTimeOriginal$' \
  '^line 6: field 2 "Renamer": tag "Model>FileName"' \
  '^  problem: the tag "Model>FileName" is refused' \
  '^line 7: skipped: has 1 of the 7 columns' \
  '^line 9: field 4 "ISO": tag "ISO", type ft_numeric_32 \(1\), units none, sort descending$' \
  '^5 fields stored; 3 problems$' \
  '^  field 0 "Model": text "Canon EOS 5D Mark IV"$' \
  '^  field 1 "Taken \(typo\)": empty \(-3\)$' \
  '^  field 2 "Renamer": no value \(-1\)$' \
  '^  field 3 "Taken": date 2021-06-15 14:30:00 local time, 2021-06-15 12:30:00 UTC$' \
  '^  field 4 "ISO": number 400$'
[ "$status" -eq 1 ] || { cat "$work/bad.txt" >&2; fail "problems exited $status, not 1"; }
echo "check_package: the checker from $(basename "$package") reports as expected"
