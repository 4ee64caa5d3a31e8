#!/usr/bin/env bash
# Makes the Wine prefix that the Windows tests run in, once per build tree.
set -eu
prefix=$1
if [ -f "$prefix/system.reg" ]; then exit 0; fi
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot -i >/dev/null 2>&1 || true
wineserver -w
test -f "$prefix/system.reg"
