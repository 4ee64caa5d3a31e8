#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Quick when all is there already.
set -eu
packages=(
  cmake ninja-build g++ make            # native build
  g++-mingw-w64-x86-64                  # Windows cross build
  wine wine64 wine64-tools              # running Windows programs; winegcc
  libimage-exiftool-perl                # the real tool (Debian's release)
  openssl                               # checking the pinned release's tarballs
  googletest                            # unit tests
  libjpeg-turbo-progs                   # cjpeg, for making test photos
  libheif-examples                      # heif-enc, for a HEIC test photo
  clang libclang-rt-14-dev              # fuzzing
  doublecmd-gtk                         # the real host for tests/dc
  xvfb openbox xdotool xclip            # ... run on a private X server, driven by keys
  imagemagick                           # import: screenshots (scripts/screenshot.sh)
  bindfs                                # a FUSE mount: reading ahead is off there
)
# npm fetches the pinned Exiftool release below; Debian's npm package
# provides it unless Node's own package brought it already.
command -v npm >/dev/null || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The current Exiftool release, pinned (scripts/exiftool-release.sh), from
# the npm registry: each tarball is checked against its published integrity
# hash and unpacked into a cache that later runs reuse without the network.
. "$(dirname "$0")/exiftool-release.sh"
fetch_tool() {  # NAME INTEGRITY DIR
  local name=$1 integrity=$2 dir=$3
  [ -f "$dir/.complete" ] && [ "$(cat "$dir/.complete")" = "$integrity" ] && return 0
  local work
  work=$(mktemp -d)
  echo "setup: fetching $name@$exiftool_release"
  (cd "$work" && npm pack --silent --ignore-scripts "$name@$exiftool_release" >/dev/null </dev/null)
  local tarball=$work/$name-$exiftool_release.tgz
  local actual
  actual="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
  if [ "$actual" != "$integrity" ]; then
    echo "setup: $name@$exiftool_release does not match its integrity hash" >&2
    rm -rf "$work"; return 1
  fi
  rm -rf "$dir" && mkdir -p "$dir"
  tar -xzf "$tarball" -C "$dir" --strip-components=1
  rm -rf "$work"
  echo "$integrity" > "$dir/.complete"
}
fetch_tool exiftool-vendored.pl "$exiftool_pl_integrity" "$exiftool_cache/pl"
fetch_tool exiftool-vendored.exe "$exiftool_exe_integrity" "$exiftool_cache/exe"
