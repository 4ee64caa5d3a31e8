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
#   - photos as Canon, Nikon, Sony, Olympus and Pentax bodies write them:
#     the lens only in the maker note (makernote.pl), no LensModel; among
#     them a CR2 and a NEF (TIFF layouts) and the DNG
#   - a camera whose clock was never set (DateTimeOriginal
#     0000:00:00 00:00:00), with aperture and shutter speed as APEX values
#     only
set -eu
[ $# -eq 1 ] || { echo "usage: make_photos.sh DIR" >&2; exit 2; }
mkdir -p "$1"
dir=$(cd "$1" && pwd)
makernote=(perl "$(cd "$(dirname "$0")" && pwd)/makernote.pl")
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

# The same TIFF laid out as a CR2: the header names the fourth IFD, and
# four IFDs in a chain.
perl -e '
  my ($w, $h, $n) = (12, 8, 9);
  my $size = 2 + 12 * $n + 4;
  my $data = 16 + 4 * $size;
  my $out = "II" . pack("v", 42) . pack("V", 16) . "CR\x02\0" . pack("V", 16 + 3 * $size);
  for my $i (0 .. 3) {
    my @e = ([256,3,1,$w],[257,3,1,$h],[258,3,1,8],[259,3,1,1],[262,3,1,1],
             [273,4,1,$data],[277,3,1,1],[278,3,1,$h],[279,4,1,$w*$h]);
    $out .= pack("v", $n);
    for (@e) { my ($t,$y,$c,$v) = @$_;
      $out .= pack("vvV", $t, $y, $c) . ($y == 3 ? pack("vv", $v, 0) : pack("V", $v)); }
    $out .= pack("V", $i < 3 ? 16 + ($i + 1) * $size : 0);
  }
  print $out . join("", map { chr(($_ * 2) % 256) } 0..($w*$h-1));' > base.cr2

et() { exiftool -q -overwrite_original -m "$@"; }
# A maker note in FILE: with_makernote FILE MAKE ARGS... The tags written
# after it with -F put Canon's values where its offsets point.
with_makernote() {
  local file=$1 make=$2
  shift 2
  "${makernote[@]}" "$make" "$@" > makernote.bin
  et '-MakerNotes<=makernote.bin' "$file"
  rm -f makernote.bin
}

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
with_makernote raw_0007.dng pentax 8 62
et -F -DNGVersion=1.4.0.0 -Make=PENTAX '-Model=PENTAX K-3 Mark III' \
   '-DateTimeOriginal=2021:06:07 08:09:10' -ISO=800 -FNumber=4 -ExposureTime=0.01 \
   -FocalLength=70 raw_0007.dng

cp base.jpg IMG_5120.JPG
with_makernote IMG_5120.JPG canon 4146 18 55 3.5
et -F -Make=Canon '-Model=Canon EOS 90D' '-DateTimeOriginal=2023:08:14 07:05:31' -ISO=250 \
   -FNumber=5.6 -ExposureTime=0.00125 -FocalLength=18 IMG_5120.JPG

cp base.cr2 IMG_5121.CR2
with_makernote IMG_5121.CR2 canon 251 70 200 2.8
et -F -Make=Canon '-Model=Canon EOS 5D Mark III' '-DateTimeOriginal=2023:08:14 07:06:02' \
   -ISO=12800 -FNumber=2.8 -ExposureTime=0.0004 -FocalLength=200 IMG_5121.CR2

cp base.jpg DSC_0042.JPG
with_makernote DSC_0042.JPG nikon B0 4C 50 50 14 14 B2 06
et -F -Make='NIKON CORPORATION' '-Model=NIKON D100' '-DateTimeOriginal=2005:10:09 16:20:00' \
   -ISO=200 -FNumber=1.8 -ExposureTime=0.0005 -FocalLength=50 DSC_0042.JPG

cp base.tif DSC_0043.NEF
with_makernote DSC_0043.NEF nikon 93 48 37 5C 24 24 95 06
et -F -Make='NIKON CORPORATION' '-Model=NIKON D100' '-DateTimeOriginal=2005:10:09 16:21:30' \
   -ISO=1000 -FNumber=4 -ExposureTime=0.008 -FocalLength=35 DSC_0043.NEF

cp base.jpg DSC01234.JPG
with_makernote DSC01234.JPG sony 62
et -F -Make=SONY -Model=SLT-A58 '-DateTimeOriginal=2016:03:05 11:12:13' -ISO=125 -FNumber=2 \
   -ExposureTime=0.01 -FocalLength=35 DSC01234.JPG

cp base.jpg P7010001.JPG
with_makernote P7010001.JPG olympus 0 19 10
et -F -Make='OLYMPUS CORPORATION' -Model=E-M1MarkII '-DateTimeOriginal=2018:07:01 12:00:00' \
   -ISO=320 -FNumber=4 -ExposureTime=0.002 -FocalLength=12 P7010001.JPG

# A compact whose clock was never set (exiftool writes that date only as it
# stands, #, not through its date check), and that gives aperture and
# shutter speed as APEX values only.
cp base.jpg IMG_0001.JPG
et -Make=Canon '-Model=Canon PowerShot A590 IS' '-DateTimeOriginal#=0000:00:00 00:00:00' \
   -ISO=80 -ApertureValue=2.6 -ShutterSpeedValue=1/60 -FocalLength=5.8 IMG_0001.JPG

heif-enc -q 50 base.jpg -o phone.heic >/dev/null
et -Make=Apple '-Model=iPhone 15 Pro' '-DateTimeOriginal=2024:01:02 03:04:05' -ISO=50 \
   -FNumber=1.8 -ExposureTime=0.001 -FocalLength=6.9 phone.heic

rm -f base.ppm base.jpg base.tif base.cr2
