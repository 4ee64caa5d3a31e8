#!/usr/bin/env bash
# Remakes the bundled sample photos in samples/ (tiny images, real tags
# written by exiftool). The results are committed; run this only to change them.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/samples
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
perl -e 'print "P6\n32 24\n255\n"; for $y (0..23) { for $x (0..31) { print pack("C3", 40+$x*6, 60+$y*7, 200-$x*3) } }' > "$tmp/base.ppm"
cjpeg -quality 75 "$tmp/base.ppm" > "$tmp/base.jpg"
et() { exiftool -q -overwrite_original -m "$@"; }

cp "$tmp/base.jpg" "$out/IMG_0412.jpg"
et -Make=Canon '-Model=Canon EOS R6' '-LensModel=RF24-105mm F4 L IS USM' \
   '-DateTimeOriginal=2024:07:21 18:42:10' -ISO=200 -FNumber=8 -ExposureTime=0.004 \
   -FocalLength=35 -GPSLatitude=46.5197 -GPSLatitudeRef=N -GPSLongitude=6.6323 \
   -GPSLongitudeRef=E "$out/IMG_0412.jpg"
cp "$tmp/base.jpg" "$out/DSC_1187.jpg"
et -Make='NIKON CORPORATION' '-Model=NIKON Z 6_2' '-LensModel=NIKKOR Z 50mm f/1.8 S' \
   '-DateTimeOriginal=2023:12:31 23:59:58' -ISO=6400 -FNumber=1.8 -ExposureTime=0.0125 \
   -FocalLength=50 "$out/DSC_1187.jpg"
cp "$tmp/base.jpg" "$out/Café Müller.jpg"
et -Make=FUJIFILM '-Model=X100V' '-DateTimeOriginal=2022:05:03 09:15:00' -ISO=160 \
   -FNumber=2 -ExposureTime=0.002 -FocalLength=23 -GPSLatitude=48.1372 -GPSLatitudeRef=N \
   -GPSLongitude=11.5756 -GPSLongitudeRef=E "$out/Café Müller.jpg"
# As a Canon and a Nikon DSLR write them: the lens only in the maker note.
# The tags written after it with -F put Canon's values where its offsets point.
makernote() { perl "$root/tests/dc/makernote.pl" "$@" > "$tmp/makernote.bin"; }
cp "$tmp/base.jpg" "$out/IMG_2207.jpg"
makernote canon 4146 18 55 3.5
et "-MakerNotes<=$tmp/makernote.bin" "$out/IMG_2207.jpg"
et -F -Make=Canon '-Model=Canon EOS 90D' '-DateTimeOriginal=2023:08:14 07:05:31' -ISO=250 \
   -FNumber=5.6 -ExposureTime=0.00125 -FocalLength=18 "$out/IMG_2207.jpg"
cp "$tmp/base.jpg" "$out/DSC_4410.jpg"
makernote nikon 93 48 37 5C 24 24 95 06
et "-MakerNotes<=$tmp/makernote.bin" "$out/DSC_4410.jpg"
et -Make='NIKON CORPORATION' '-Model=NIKON D100' '-DateTimeOriginal=2005:10:09 16:21:30' \
   -ISO=1000 -FNumber=4 -ExposureTime=0.008 -FocalLength=35 -GPSLatitude=43.7696 \
   -GPSLatitudeRef=N -GPSLongitude=11.2558 -GPSLongitudeRef=E "$out/DSC_4410.jpg"
cp "$tmp/base.jpg" "$out/scan_no_exif.jpg"
ls -la "$out"
