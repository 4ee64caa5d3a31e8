#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages.
# Quick when all is there already.
set -eu
packages=(
  cmake ninja-build g++ make            # native build
  g++-mingw-w64-x86-64                  # Windows cross build
  wine wine64 wine64-tools              # running Windows programs; winegcc
  libimage-exiftool-perl                # the real tool
  googletest                            # unit tests
  libjpeg-turbo-progs                   # cjpeg, for making test photos
  libheif-examples                      # heif-enc, for a HEIC test photo
  clang libclang-rt-14-dev              # fuzzing
  doublecmd-gtk                         # the real host for tests/dc
  xvfb openbox xdotool xclip            # ... run on a private X server, driven by keys
  imagemagick                           # import: screenshots (scripts/screenshot.sh)
)
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
