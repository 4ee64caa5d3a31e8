# The current Exiftool release the tests and the demo run, besides Debian's
# (sourced by setup.sh, demo.sh and bench.sh; CMake reads the version line).
# Both packages come from the npm registry, repackaged from the official
# releases: exiftool-vendored.pl, the Perl distribution, run on Linux; and
# exiftool-vendored.exe, the official 64-bit Windows package (exiftool.exe
# and exiftool_files/ with its Perl), run under Wine.
# To move to a newer release: set the version, and take each integrity
# string from `npm view NAME@VERSION dist.integrity`.
exiftool_release=13.64.0
exiftool_pl_integrity=sha512-NAaZhPJ1UFJKPrg3aIcajlgEVueQNWs2C8BFrAKKxCnQg8o+nIOKacP4jgB5RTCNT42UkVoE3fAxlyQif60y3A==
exiftool_exe_integrity=sha512-lHfNsnUytT2Yf5LMYjBosVN+HkpVtXsBi8jq9LN8vlb/c11yS5xY7l6pwG1RcRebuBD06AOLZ9RCCcAFJb+m2A==
# Unpacked here: pl/bin/exiftool and exe/bin/exiftool.exe.
exiftool_cache=${VELTAMO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/veltamo}/exiftool-$exiftool_release
