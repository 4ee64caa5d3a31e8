#!/usr/bin/env bash
# A host that is killed (SIGKILL) while the module's tool runs: the tool
# must not outlive it. Runs the host program in its "hold" mode with a
# plugin folder of its own (module, Config.txt naming TOOL), kills it once
# it holds a value, and waits for every exiftool under that folder to end.
#
#   host_killed.sh HOST MODULE TOOL PHOTO LIMIT_MS [WINEPREFIX]
# With WINEPREFIX the host is a Windows program run under Wine, and TOOL the
# Windows package's exiftool.exe, which runs Perl from exiftool_files/.
set -u
host=$1 module=$2 tool=$3 photo=$4 limit=$5 prefix=${6:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/veltamo-killed-XXXXXX")
hostpid=
cleanup() {
  [ -n "$hostpid" ] && kill -9 "$hostpid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "host_killed: $*" >&2; exit 1; }

cp "$module" "$work/" || fail "cannot copy the module"
cp "$tool" "$work/$(basename "$tool")" || fail "cannot copy the tool"
# The folder the tool runs from, as a user installs it beside the program.
for support in exiftool_files lib; do
  [ -d "$(dirname "$tool")/$support" ] || continue
  cp -al "$(dirname "$tool")/$support" "$work/" 2>/dev/null ||
    cp -a "$(dirname "$tool")/$support" "$work/" || fail "cannot copy $support"
done
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
if [ -n "$prefix" ]; then
  toolline=$(winpath "$work/$(basename "$tool")")
  modulearg=$(winpath "$work/$(basename "$module")")
  photoarg=$(winpath "$photo")
else
  toolline="$work/$(basename "$tool")"
  modulearg="$work/$(basename "$module")"
  photoarg=$photo
fi
printf '1 F\t0\n%s\tthe tool\nx\n1\tModel\t0\tft_stringw\t0\t1\tModel\n' "$toolline" \
  > "$work/Config.txt"

if [ -n "$prefix" ]; then
  WINEPREFIX=$prefix WINEDEBUG=-all wine "$host" "$modulearg" hold "$photoarg" 0 \
    > "$work/out.txt" 2>&1 &
else
  "$host" "$modulearg" hold "$photoarg" 0 > "$work/out.txt" 2>&1 &
fi
hostpid=$!

# Waits (polling) until the host holds its value; under Wine the first
# start of a program takes a while.
for _ in $(seq 1 600); do
  grep -q '^holding' "$work/out.txt" 2>/dev/null && break
  kill -0 "$hostpid" 2>/dev/null || fail "the host ended early: $(cat "$work/out.txt")"
  sleep 0.1
done
grep -q '^holding' "$work/out.txt" || fail "the host never held a value"
value=$(head -n 1 "$work/out.txt")

# The tool: every exiftool run from this test's folder, and every process
# started by one.
tools() {
  local wdir cmdline p
  wdir=$(winpath "$work")
  for p in /proc/[0-9]*; do
    cmdline=$(tr '\0' ' ' 2>/dev/null < "$p/cmdline") || continue
    case $cmdline in
      *-stay_open*) ;;
      *) continue ;;
    esac
    case $cmdline in
      *"$work"/* | *"$wdir"\\*)
        echo "${p#/proc/}"
        pgrep -P "${p#/proc/}" ;;
    esac
  done
}
before=$(tools | sort -u | tr '\n' ' ')
[ -n "$before" ] || fail "no tool process was found running"

start=$(date +%s%N)
kill -9 "$hostpid"
wait "$hostpid" 2>/dev/null
hostpid=
left=$before
while [ -n "$left" ]; do
  still=
  for p in $left; do
    # Alive, and not a zombie waiting for its parent.
    state=$(awk '{ print $3 }' "/proc/$p/stat" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ] && still="$still $p"
  done
  left=$still
  elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
  [ -z "$left" ] && break
  [ "$elapsed" -gt $(( limit + 5000 )) ] && break
  sleep 0.02
done
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
if [ -n "$left" ]; then
  ps -o pid,ppid,args -p "$(echo $left | tr ' ' ',')" >&2
  kill -9 $left 2>/dev/null
  fail "the tool outlived the killed host by more than ${elapsed} ms"
fi
echo "host_killed: value \"$value\"; tool processes [$before] gone ${elapsed} ms after SIGKILL"
[ "$elapsed" -le "$limit" ] || fail "that is more than ${limit} ms"
exit 0
