#!/usr/bin/env bash
# Makes the Wine prefix that the Windows tests run in, once per build tree.
set -eu
prefix=$1
# A share, \\veltamo\c, that serves the prefix's drive C: the tests reach
# their own files as if over the network.
share() { mkdir -p "$prefix/dosdevices/unc/veltamo" && ln -sfn ../../../drive_c "$prefix/dosdevices/unc/veltamo/c"; }
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  wine wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  test -f "$prefix/system.reg"
fi
share
# The server and Wine's own services are up before the tests start side by
# side, and the server stays while they run one after another (once, a test
# program that started together with another from a cold server never
# ended). Nothing here holds the caller's output open.
wineserver -p30 </dev/null >/dev/null 2>&1 || true  # 2: a server runs already
wine cmd /c exit </dev/null >/dev/null 2>&1
