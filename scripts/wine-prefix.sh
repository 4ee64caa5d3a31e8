#!/usr/bin/env bash
# Makes the Wine prefix that the Windows tests run in, once per build tree.
set -eu
prefix=$1
# A share, \\veltamo\c, that serves the prefix's drive C: the tests reach
# their own files as if over the network.
share() { mkdir -p "$prefix/dosdevices/unc/veltamo" && ln -sfn ../../../drive_c "$prefix/dosdevices/unc/veltamo/c"; }
if [ -f "$prefix/system.reg" ]; then share; exit 0; fi
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot -i >/dev/null 2>&1 || true
wineserver -w
test -f "$prefix/system.reg"
share
