#!/usr/bin/env bash
# How often each column of a Config.txt shows something: for every field
# (its first unit), the number of photos whose value is not empty, out of
# the photos the tests make or commit:
#   camera   tests/dc/make_photos.sh (among them photos as Canon, Nikon,
#            Sony, Olympus and Pentax bodies write them, lens in the maker
#            note only; a CR2, a NEF, a DNG, a HEIC, a TIFF)
#   e2e      tests/e2e/make_photos.sh (odd values, broken files)
#   samples  samples/
# Values come from one-shot exiftool (-fast, -n for the "#" unit), read as
# the column's type shows them: a text column counts a non-empty text, a
# number column a text that starts with a number, a date column a valid
# date and time (a zero date such as 0000:00:00 00:00:00 counts as empty).
#
# Usage: scripts/coverage.sh [CONFIG...]   (default: dist/Config.txt)
#   e.g. scripts/coverage.sh <(git show main:dist/Config.txt) dist/Config.txt
# EXIFTOOL: the exiftool Perl script to run (default: exiftool on PATH).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- "$root/dist/Config.txt"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if [ -n "${EXIFTOOL:-}" ]; then tool=(perl "$EXIFTOOL"); else tool=(exiftool); fi

bash "$root/tests/dc/make_photos.sh" "$tmp/camera" >/dev/null
# The e2e photos also hold what each tag prints (a few minutes to make):
# kept in build/coverage, made again when their script or the tool changes.
bash "$root/tests/e2e/make_photos.sh" "$root/build/coverage/e2e${EXIFTOOL:+-release}" \
  ${EXIFTOOL:+"$EXIFTOOL"} >/dev/null
ln -s "$root/build/coverage/e2e${EXIFTOOL:+-release}" "$tmp/e2e"
cp -r "$root/samples" "$tmp/samples"

configs=()
for c in "$@"; do
  n=${#configs[@]}
  perl "$root/tests/dc/dc_tool.pl" columns "$c" > "$tmp/columns.$n" || exit 1
  configs+=("$c")
done

perl - "$tmp" "${#configs[@]}" "${configs[@]}" "${tool[@]}" <<'PERL'
use strict;
use warnings;
use JSON::PP;
use Time::Local qw(timegm);
my ($tmp, $nconfigs, @rest) = @ARGV;
my @configs = splice @rest, 0, $nconfigs;
my @tool = @rest;
my @sets = qw(camera e2e samples);
my $photo = qr/\.(jpe?g|tiff?|png|heic|nef|cr2|cr3|arw|dng|orf|rw2|pef|raf)$/i;
my %files;
for my $set (@sets) {
  opendir my $dh, "$tmp/$set" or die "$tmp/$set: $!";
  $files{$set} = [sort grep { /$photo/ && -f "$tmp/$set/$_" } readdir $dh];
}

# One exiftool run per set and print mode: {file}{lc tag} = value.
sub values_of {
  my ($set, $numeric, @tags) = @_;
  return {} unless @tags && @{ $files{$set} };
  my @args = ('-json', '-fast', '-charset', 'filename=utf8', ($numeric ? '-n' : ()),
              map({ "-$_" } @tags), map { "$tmp/$set/$_" } @{ $files{$set} });
  my $pid = open(my $out, '-|') // die "fork: $!";
  if (!$pid) { open STDERR, '>', '/dev/null'; exec @tool, @args or exit 127 }
  local $/;
  my $text = <$out>;
  close $out;    # exiftool exits 1 when a file is not readable
  my %v;
  for my $r (@{ JSON::PP->new->decode($text || '[]') }) {
    (my $name = $r->{SourceFile}) =~ s{.*/}{};
    $v{$name}{ lc $_ } = $r->{$_} for keys %$r;
  }
  return \%v;
}

sub valid_date {
  my ($t) = @_;
  $t =~ /^\s*(\d+):(\d+):(\d+)\s+(\d+):(\d+):(\d+)/ or return 0;
  return 0 if $2 < 1 || $2 > 12 || $3 < 1 || $4 > 23 || $5 > 59 || $6 > 59;
  return defined eval { timegm($6, $5, $4, $3, $2 - 1, $1) } ? 1 : 0;
}

sub shows {
  my ($type, $v) = @_;
  return 0 unless defined $v && !ref $v;
  return valid_date($v) if $type eq 'ft_datetime';
  return $v =~ /^\s*[+-]?(\d|\.\d)/ ? 1 : 0 if $type =~ /^ft_numeric/;
  return $v ne '' ? 1 : 0;
}

my (@rows, %row_of);
for my $i (0 .. $#configs) {
  open my $fh, '<:encoding(UTF-8)', "$tmp/columns.$i" or die $!;
  my (%seen, @fields);
  while (<$fh>) {
    chomp;
    my ($name, $tag, $type, $unit) = split /\t/;
    next if $seen{$name}++;    # the first unit only
    push @fields, { name => $name, tag => $tag, type => $type, numeric => ($unit eq '#' ? 1 : 0) };
  }
  for my $set (@sets) {
    my %v;
    for my $numeric (0, 1) {
      my @tags = map { $_->{tag} } grep { $_->{numeric} == $numeric } @fields;
      $v{$numeric} = values_of($set, $numeric, @tags);
    }
    for my $f (@fields) {
      (my $key = lc $f->{tag}) =~ s/^.*://;
      $key =~ s/#$//;
      $f->{$set} = grep { shows($f->{type}, $v{ $f->{numeric} }{$_}{$key}) } @{ $files{$set} };
    }
  }
  for my $f (@fields) {
    my $row = $row_of{ $f->{name} } //= do { push @rows, { name => $f->{name} }; $rows[-1] };
    $row->{$i} = $f;
  }
}

my $total = 0;
$total += @{ $files{$_} } for @sets;
print "photos: ", join(', ', map { "$_ " . scalar @{ $files{$_} } } @sets), ", all $total\n";
print "| column |", join('', map { " config $_: tag | " . join(' | ', @sets) . " | all |" } 1 .. @configs), "\n";
print "|---|", join('', map { '---|' x (@sets + 2) } 1 .. @configs), "\n";
for my $row (@rows) {
  my $line = "| $row->{name} |";
  for my $i (0 .. $#configs) {
    my $f = $row->{$i};
    if (!$f) { $line .= ' - |' x (@sets + 2); next }
    my $all = 0;
    $all += $f->{$_} for @sets;
    $line .= " $f->{tag}" . ($f->{numeric} ? ' (#)' : '') . ' |'
           . join('', map { " $f->{$_}/" . scalar(@{ $files{$_} }) . ' |' } @sets) . " $all/$total |";
  }
  print "$line\n";
}
print "configs: ", join(', ', map { ($_ + 1) . " = $configs[$_]" } 0 .. $#configs), "\n";
PERL
