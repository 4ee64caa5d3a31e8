#!/usr/bin/env bash
# Runs a Windows program under Wine in the given prefix: wine-run.sh PREFIX PROGRAM ARGS...
set -eu
export WINEPREFIX=$1; shift
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A Wine server that the program starts itself keeps the program's standard
# error open, and so do Wine's services that start with it: whoever reads
# the program's output (ctest) then waits until the last Wine program of the
# prefix has ended and the server has gone. So the server and the services
# are started here, with no output of ours, one caller at a time; the
# server stays 30 s after its last program. (2: a server runs already.)
(
  flock 9
  if wineserver -p30 </dev/null >/dev/null 2>&1; then
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  fi
) 9>"$WINEPREFIX/.server-start.lock"
exec wine "$@"
