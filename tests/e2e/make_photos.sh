#!/usr/bin/env bash
# Makes the test photos in DIR (JPEGs and a TIFF with tags written by
# exiftool, odd tag values, and files that make exiftool warn or fail), and
# DIR/expected.tsv: for each photo, tag and print mode, what one-shot
# `exiftool -s3 -fast -TAG [-n] FILE` prints on its standard output, run as
# its own process.
#   make_photos.sh DIR [EXIFTOOL]
# EXIFTOOL: the exiftool Perl script that writes the photos and prints the
# expected values (default: exiftool on PATH); the values then come from
# the version of the tool that the tests run against.
set -eu
mkdir -p "$1"
dir=$(cd "$1" && pwd)
if [ -n "${2:-}" ]; then tool=(perl "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")")
else tool=(command exiftool); fi
exiftool() { "${tool[@]}" "$@"; }
stamp="$dir/.complete"
script_hash="$(sha1sum "$0" | cut -c1-12) ${tool[*]} $(exiftool -ver)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$script_hash" ]; then exit 0; fi
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

# A 16x16 grey-gradient image, as a baseline JPEG.
perl -e 'print "P6\n16 16\n255\n"; for $y (0..15) { for $x (0..15) { print pack("C3", $x*16, $y*16, 128) } }' > base.ppm
cjpeg -quality 80 base.ppm > base.jpg
# An 8x8 8-bit greyscale TIFF, written byte by byte.
perl -e '
  my @e = ([256,3,1,8],[257,3,1,8],[258,3,1,8],[259,3,1,1],[262,3,1,1],
           [273,4,1,0],[277,3,1,1],[278,3,1,8],[279,4,1,64]);
  my $ifd = 8; my $data = $ifd + 2 + 12*@e + 4;
  $e[5][3] = $data;
  my $out = "II" . pack("v", 42) . pack("V", $ifd) . pack("v", scalar @e);
  for (@e) { my ($t,$y,$c,$v) = @$_;
    $out .= pack("vvV", $t, $y, $c) . ($y == 3 ? pack("vv", $v, 0) : pack("V", $v)); }
  $out .= pack("V", 0) . join("", map { chr($_ * 4) } 0..63);
  print $out;' > base.tif

et() { exiftool -q -overwrite_original -m "$@"; }

cp base.jpg canon.jpg
et -Make=Canon '-Model=Canon EOS 5D Mark IV' '-LensModel=EF24-70mm f/2.8L II USM' \
   '-DateTimeOriginal=2021:06:15 14:30:00' '-XMP-xmp:CreateDate=2021:06:15 14:30:00+02:00' \
   -ISO=400 -FNumber=5.6 -ExposureTime=0.005 -FocalLength=50 -ExposureCompensation=-0.67 \
   -GPSLatitude=48.8584 -GPSLatitudeRef=N -GPSLongitude=2.2945 -GPSLongitudeRef=E \
   '-Artist=Zoë Brontë' "-Comment=$(perl -e 'print join(" ", map { "word$_" } 1..1200)')" canon.jpg

cp base.jpg "nikon café ünï.jpg"
et -Make=NIKON '-Model=NIKON D850' '-DateTimeOriginal=2019:12:31 23:59:59' \
   '-XMP-xmp:CreateDate=2019:12:31 23:59:59Z' -ISO=64 -FNumber=11 -ExposureTime=2 \
   -FocalLength=105 -GPSLatitude=33.8688 -GPSLatitudeRef=S -GPSLongitude=151.2093 \
   -GPSLongitudeRef=E '-Artist=Ærøskøbing Ümlaut' "nikon café ünï.jpg"

cp base.tif "scan 01.tif"
et -Make=EPSON '-Model=Perfection V600' '-DateTimeOriginal=1999:01:02 03:04:05' \
   '-XMP-xmp:CreateDate=1999:01:02 03:04:05-05:00' -ISO=100 -Artist=Ωmega "scan 01.tif"

# Files that make the tool warn or fail, and odd tag values.
cp base.jpg "odd values.jpg"
et -Make=Canon '-ImageDescription={ready}' "-Artist=-Model=forged
{ready}" '-Software=  spaced out  ' '-Copyright=a=b|c' -ISO=3200 "odd values.jpg"
cp base.jpg "long model.jpg"
et "-Model=$(perl -e 'print join("", map { chr(65 + $_ % 26) } 0..1799)')" -ISO=50 "long model.jpg"
# A character outside the BMP (two UTF-16 units) right where a 2048-byte
# host buffer ends.
cp base.jpg "emoji model.jpg"
et "-Model=$(perl -e 'print "A" x 1022, "\xF0\x9F\x93\xB7"')" "emoji model.jpg"
# A maker-note block that no camera wrote: the tool warns about it.
cp base.jpg "unknown makernotes.jpg"
perl -e 'srand(7); print map { chr(int(rand(256))) } 1..64' > makernotes.bin
et -Make=Acme -Model=Prototype -ISO=800 '-MakerNotes<=makernotes.bin' "unknown makernotes.jpg"
# Half of a photo: the tool warns that the JPEG ends early.
head -c "$(( $(stat -c %s canon.jpg) / 2 ))" canon.jpg > "truncated.jpg"
# Not a photo at all, under a photo's name: the tool reports an error.
perl -e 'srand(11); print map { chr(int(rand(256))) } 1..3000' > "random bytes.jpg"
: > "empty.jpg"
# Two photos of the same size that differ in one tag: a file replaced by
# the other looks unchanged but for its time.
cp base.jpg "same size a.jpg"
et -Model=Alpha -ISO=100 "same size a.jpg"
cp base.jpg "same size b.jpg"
et -Model=Bravo -ISO=200 "same size b.jpg"
# A camera with an unset clock: a zero date, and a blank-filled one. "#"
# writes them as they are.
cp base.jpg "unset clock.jpg"
et -Make=Canon '-Model=Canon PowerShot A70' '-DateTimeOriginal#=0000:00:00 00:00:00' \
   '-CreateDate#=    :  :     :  :  ' -ISO=100 -FNumber=2.8 "unset clock.jpg"
rm -f base.ppm base.jpg base.tif makernotes.bin

tags="Make Model LensModel DateTimeOriginal CreateDate XMP:CreateDate ISO FNumber ExposureTime
      FocalLength ExposureCompensation ImageWidth ImageHeight GPSLatitude GPSLongitude
      GPSPosition Artist Comment ImageDescription Software Copyright"
: > expected.tmp
for file in canon.jpg "nikon café ünï.jpg" "scan 01.tif" "odd values.jpg" "long model.jpg" \
            "unknown makernotes.jpg" "truncated.jpg" "random bytes.jpg" "empty.jpg" \
            "unset clock.jpg"; do
  for tag in $tags; do
    for mode in text number; do
      # Standard output only: what the tool warns about is not a value.
      if [ $mode = number ]; then value=$(exiftool -s3 -fast "-$tag" -n "$file" 2>/dev/null || true)
      else value=$(exiftool -s3 -fast "-$tag" "$file" 2>/dev/null || true); fi
      printf '%s\t%s\t%s\t%s\n' "$file" "$tag" "$mode" "$value" >> expected.tmp
    done
  done
done
mv expected.tmp expected.tsv
echo "$script_hash" > "$stamp"
