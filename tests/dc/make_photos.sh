#!/usr/bin/env bash
# Makes the photo folder that Double Commander is shown in the real-host
# test: tiny JPEGs (cjpeg), a TIFF (written byte by byte), a DNG (that TIFF
# with a DNGVersion) and a HEIC (heif-enc), with tags written by exiftool. Usage: make_photos.sh DIR (DIR is made, or emptied).
#
# What is in it, and why:
#   - .jpg, .JPG, .jpeg, .tif, .dng and .heic names (the detect string must
#     take them all)
#   - a name with non-ASCII letters (the file name crosses UTF-16 and UTF-8)
#   - a photo with no EXIF at all (text and number columns must stay empty;
#     width and height still come from the JPEG itself)
#   - an 1800-character Model (longer than the value buffer Double Commander
#     passes: 2049 bytes), taken at midnight (shown as a date alone)
#   - ISO values whose text order differs from their number order
#   - GPS in all four quarters of the globe, fractions of a second, a
#     multi-second exposure, non-ASCII text in a tag
set -eu
[ $# -eq 1 ] || { echo "usage: make_photos.sh DIR" >&2; exit 2; }
mkdir -p "$1"
dir=$(cd "$1" && pwd)
find "$dir" -mindepth 1 -delete
cd "$dir"

# A 24x16 colour gradient as a baseline JPEG.
perl -e 'print "P6\n24 16\n255\n";
  for $y (0..15) { for $x (0..23) { print pack("C3", 30+$x*9, 50+$y*12, 220-$x*6) } }' > base.ppm
cjpeg -quality 80 base.ppm > base.jpg
# A 12x8 8-bit greyscale TIFF, little-endian, one strip.
perl -e '
  my ($w, $h) = (12, 8);
  my @e = ([256,3,1,$w],[257,3,1,$h],[258,3,1,8],[259,3,1,1],[262,3,1,1],
           [273,4,1,0],[277,3,1,1],[278,3,1,$h],[279,4,1,$w*$h]);
  my $ifd = 8; my $data = $ifd + 2 + 12*@e + 4;
  $e[5][3] = $data;
  my $out = "II" . pack("v", 42) . pack("V", $ifd) . pack("v", scalar @e);
  for (@e) { my ($t,$y,$c,$v) = @$_;
    $out .= pack("vvV", $t, $y, $c) . ($y == 3 ? pack("vv", $v, 0) : pack("V", $v)); }
  $out .= pack("V", 0) . join("", map { chr(($_ * 2) % 256) } 0..($w*$h-1));
  print $out;' > base.tif

et() { exiftool -q -overwrite_original -m "$@"; }

cp base.jpg IMG_0412.jpg
et -Make=Canon '-Model=Canon EOS R6' '-LensModel=RF24-105mm F4 L IS USM' \
   '-DateTimeOriginal=2024:07:21 18:42:10' -ISO=400 -FNumber=8 -ExposureTime=0.004 \
   -FocalLength=35 -GPSLatitude=46.5197 -GPSLatitudeRef=N -GPSLongitude=6.6323 \
   -GPSLongitudeRef=E IMG_0412.jpg

cp base.jpg DSC_1187.JPG
et -Make='NIKON CORPORATION' '-Model=NIKON Z 6_2' '-LensModel=NIKKOR Z 50mm f/1.8 S' \
   '-DateTimeOriginal=2023:12:31 23:59:58' -ISO=3200 -FNumber=1.8 -ExposureTime=0.0125 \
   -FocalLength=50 -GPSLatitude=33.8688 -GPSLatitudeRef=S -GPSLongitude=151.2093 \
   -GPSLongitudeRef=E DSC_1187.JPG

cp base.jpg 'Café Müller.jpg'
et -Make=FUJIFILM -Model=X100V '-LensModel=Fujinon 23mm ƒ/2 – Ø 49' \
   '-DateTimeOriginal=2022:05:03 09:15:00' -ISO=64 -FNumber=2 -ExposureTime=0.002 \
   -FocalLength=23 -GPSLatitude=48.1372 -GPSLatitudeRef=N -GPSLongitude=11.5756 \
   -GPSLongitudeRef=E 'Café Müller.jpg'

cp base.jpg holiday.jpeg
et -Make=SONY -Model=ILCE-7M4 '-LensModel=FE 24-70mm F2.8 GM II' \
   '-DateTimeOriginal=2020:02:29 00:00:01' -ISO=25600 -FNumber=2.8 -ExposureTime=30 \
   -FocalLength=24 -GPSLatitude=40.6892 -GPSLatitudeRef=N -GPSLongitude=74.0445 \
   -GPSLongitudeRef=W holiday.jpeg

cp base.tif 'scan 01.tif'
et -Make=EPSON '-Model=Perfection V600' '-DateTimeOriginal=1999:01:02 03:04:05' \
   -ISO=100 -FNumber=5.6 -ExposureTime=0.3333333 -FocalLength=6.3 \
   -GPSLatitude=22.9068 -GPSLatitudeRef=S -GPSLongitude=43.1729 -GPSLongitudeRef=W \
   'scan 01.tif'

cp base.jpg long_model.jpg
et "-Model=$(perl -e 'print join("", map { chr(65 + $_ % 26) } 0..1799)')" \
   -Make=Acme -ISO=1600 -FNumber=16 '-DateTimeOriginal=2000:01:01 00:00:00' long_model.jpg

cp base.jpg no_exif.jpg

cp base.tif raw_0007.dng
et -DNGVersion=1.4.0.0 -Make=PENTAX '-Model=PENTAX K-3 Mark III' \
   '-DateTimeOriginal=2021:06:07 08:09:10' -ISO=800 -FNumber=4 -ExposureTime=0.01 \
   -FocalLength=70 raw_0007.dng

heif-enc -q 50 base.jpg -o phone.heic >/dev/null
et -Make=Apple '-Model=iPhone 15 Pro' '-DateTimeOriginal=2024:01:02 03:04:05' -ISO=50 \
   -FNumber=1.8 -ExposureTime=0.001 -FocalLength=6.9 phone.heic

rm -f base.ppm base.jpg base.tif
