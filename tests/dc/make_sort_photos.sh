#!/usr/bin/env bash
# Makes COUNT (default 300) small JPEGs in DIR for the sort test in Double
# Commander, named IMG_0001.jpg ... in name order, each with a
# DateTimeOriginal of its own that is NOT in name order: photo n is taken
# (7 n mod COUNT) x 5 days, (13 n mod 24) hours and (37 n mod 60) seconds
# after 2019-03-01, so the dates are distinct (7 is prime to COUNT, which must not be a multiple
# of 7) and span four years, where the host's "mm/dd/yy" text sorts
# otherwise than the dates. One cjpeg base, COUNT copies, one exiftool run
# over the set. Usage: make_sort_photos.sh DIR [COUNT] (DIR is made, or
# emptied).
set -eu
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: make_sort_photos.sh DIR [COUNT]" >&2; exit 2; }
count=${2:-300}
[ $((count % 7)) -ne 0 ] || { echo "make_sort_photos.sh: COUNT must not be a multiple of 7" >&2; exit 2; }
mkdir -p "$1"
dir=$(cd "$1" && pwd)
find "$dir" -mindepth 1 -delete
cd "$dir"

perl -e 'print "P6\n32 24\n255\n";
  for $y (0..23) { for $x (0..31) { print pack("C3", $x*8, $y*10, 200-$x*3) } }' > base.ppm
cjpeg -quality 80 base.ppm > base.jpg
for i in $(seq -f '%04g' 1 "$count"); do cp base.jpg "IMG_$i.jpg"; done
rm -f base.ppm base.jpg

# 1551398400 is 2019-03-01 00:00:00 UTC.
exiftool -q -q -overwrite_original -m -Make=Veltamo -Model='Sort test' \
  "-DateTimeOriginal<\${FileName;s/\\D//g;my \$n=\$_+0;my @t=gmtime(1551398400+((7*\$n)%$count)*432000+(\$n*13)%24*3600+(\$n*37)%60);\$_=sprintf('%04d:%02d:%02d %02d:%02d:%02d',\$t[5]+1900,\$t[4]+1,\$t[3],\$t[2],\$t[1],\$t[0])}" \
  -ext jpg .
made=$(ls | wc -l)
[ "$made" -eq "$count" ] || { echo "make_sort_photos.sh: made $made photos, not $count" >&2; exit 1; }
