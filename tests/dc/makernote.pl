#!/usr/bin/perl
# Writes a small maker-note block, as cameras of these makes lay it out, to
# standard output, for `exiftool '-MakerNotes<=FILE'` (the photo's Make must
# name the same maker):
#
#   makernote.pl canon LENSTYPE MINFOCAL MAXFOCAL [MAXAPERTURE]
#       an IFD with CameraSettings (tag 1): the lens type number, the
#       lens's focal range in mm and its widest aperture (an f-number)
#   makernote.pl nikon LENSIDNUMBER FSTOPS MINFOCAL MAXFOCAL MAXAPMIN MAXAPMAX MCU LENSTYPE
#       (hex bytes) "Nikon\0" type 2 with its own TIFF header: LensType
#       (0x83) and LensData version 0100 (0x98, not encrypted)
#   makernote.pl sony LENSTYPE
#       "SONY DSC " and an IFD with LensType (0xb027)
#   makernote.pl olympus MAKE MODEL SUBMODEL
#       "OLYMPUS\0II" and an IFD with the Equipment IFD (0x2010) holding
#       LensType (0x201; the numbers in hex)
#   makernote.pl pentax MAKE MODEL
#       "AOC\0II" and an IFD with LensRec (0x3f): the lens type numbers
#
# Canon's values lie outside the IFD at offsets counted from the EXIF TIFF
# header, which is only known once the block is in a photo: this writes them
# as if the block started at that header, and a second exiftool write with
# -F (fix the maker notes' base) puts them right. The others count from the
# block's own start or hold no offset.
use strict;
use warnings;

# An IFD of [tag, type, count, bytes] entries; values over 4 bytes follow it,
# at offsets counted from $base. $pack: 'v'/'V' (Intel) or 'n'/'N' (Motorola).
sub ifd {
  my ($base, $short, $long, @entries) = @_;
  my $data = $base + 2 + 12 * @entries + 4;
  my ($dir, $blob) = (pack($short, scalar @entries), '');
  for (sort { $a->[0] <=> $b->[0] } @entries) {
    my ($tag, $type, $count, $bytes) = @$_;
    $dir .= pack($short . $short . $long, $tag, $type, $count);
    if (length $bytes <= 4) {
      $dir .= substr($bytes . "\0" x 4, 0, 4);
    } else {
      $dir .= pack($long, $data + length $blob);
      $blob .= $bytes;
      $blob .= "\0" if length($blob) % 2;
    }
  }
  return $dir . pack($long, 0) . $blob;
}

my $make = shift(@ARGV) // '';
binmode STDOUT;
if ($make eq 'canon') {
  my ($lens, $min, $max, $aperture) = @ARGV;
  my @settings = (0) x 46;
  $settings[0] = 2 * @settings;    # the block's length in bytes
  @settings[22 .. 25] = ($lens, $max, $min, 1);    # lens, long and short focal, 1 unit/mm
  # Canon's EV units: 32 a stop (Av = 2 log2 N)
  $settings[26] = int(64 * log($aperture) / log(2) + 0.5) if $aperture;
  print ifd(0, 'v', 'V', [0x0001, 3, scalar @settings, pack('v*', @settings)]);
} elsif ($make eq 'nikon') {
  die "nikon: 8 hex bytes\n" unless @ARGV == 8;
  my @b = map { hex } @ARGV;
  my $lensData = '0100' . "\0\0" . pack('C7', @b[0 .. 6]);
  print "Nikon\0\x02\x10\0\0", "MM\0\x2a", pack('N', 8),
        ifd(8, 'n', 'N', [0x0001, 7, 4, '0210'], [0x0083, 1, 1, pack('C', $b[7])],
            [0x0098, 7, length $lensData, $lensData]);
} elsif ($make eq 'sony') {
  print "SONY DSC \0\0\0", ifd(0, 'v', 'V', [0xb027, 4, 1, pack('V', $ARGV[0])]);
} elsif ($make eq 'olympus') {
  # Offsets count from the block's start; the main IFD is at 12, the
  # Equipment IFD right after it (12 + 2 + 12 + 4).
  my $equipment = ifd(30, 'v', 'V', [0x0201, 1, 6, pack('C6', map { hex } $ARGV[0], 0, @ARGV[1, 2], 0, 0)]);
  print "OLYMPUS\0II\x03\0", ifd(12, 'v', 'V', [0x2010, 7, length $equipment, $equipment]);
} elsif ($make eq 'pentax') {
  print "AOC\0II", ifd(6, 'v', 'V', [0x003f, 1, 2, pack('C2', @ARGV)]);
} else {
  die "usage: makernote.pl canon|nikon|sony|olympus|pentax VALUES...\n";
}
