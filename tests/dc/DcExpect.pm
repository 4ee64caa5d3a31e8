# What each cell of the plugin's columns must show: the values one-shot
# exiftool prints for the photos (dc_tool.pl expect), and how Double
# Commander 1.0 displays a plugin value of each type. What it shows was
# learned by running it on modules that return known values (see
# format_float, format_datetime and $HOST_TEXT_UNITS below).
package DcExpect;
use strict;
use warnings;
use utf8;
use Encode qw(decode);
use Exporter qw(import);
use Getopt::Long qw(GetOptionsFromArray);
use Math::BigInt;
use Time::Local qw(timegm);

our @EXPORT_OK = qw(cmd_expect print_mode expected_cell leading_float leading_int format_float
                    parse_datetime format_datetime utf16_length utf16_prefix $HOST_TEXT_UNITS);

# fail, read_file, write_file and $json are dc_tool.pl's, which loads this
# module; they are used here under the same names.
our $json;
BEGIN {
  no strict 'refs';
  no warnings 'once';
  *{$_} = \&{"main::$_"} for qw(fail read_file write_file);
  *json = \$main::json;
}

# Double Commander passes a value buffer of 2049 bytes: room for 1023 UTF-16
# code units of text and the terminating zero. A longer value can only be
# shown cut to that length.
our $HOST_TEXT_UNITS = 1023;

# ------------------------------------------------------------ expected values

# How a column asks Exiftool: "Default" and the empty unit take the value as
# printed, "#" the plain number (-n).
sub print_mode {
  my ($unit) = @_;
  return 'P' if $unit eq '' || lc $unit eq 'default';
  return 'N' if $unit eq '#';
  fail("unit '$unit': this test knows Default, # and the empty unit only");
}

# What one-shot `exiftool -s3 -fast [-n] -TAG FILE` prints on standard
# output, without its line end; undef when it prints nothing.
sub exiftool_value {
  my ($file, $tag, $mode) = @_;
  my @args = ('exiftool', '-s3', '-fast', ($mode eq 'N' ? ('-n') : ()), "-$tag", $file);
  my $pid = open(my $out, '-|') // fail("cannot fork: $!");
  if ($pid == 0) {
    open STDERR, '>', '/dev/null';
    exec @args or exit 127;
  }
  binmode $out, ':raw';
  local $/;
  my $text = <$out>;
  close $out;
  fail("exiftool could not be run") if $? >> 8 == 127;
  $text //= '';
  $text =~ s/\n\z//;
  return $text eq '' ? undef : decode('UTF-8', $text);
}

sub cmd_expect {
  my %o;
  GetOptionsFromArray(\@_, \%o, 'manifest=s', 'photos=s', 'out=s') or fail('bad options');
  my $manifest = $json->decode(read_file($o{manifest}));
  opendir my $dh, $o{photos} or fail("cannot list $o{photos}: $!");
  my @files = sort grep { -f "$o{photos}/$_" } readdir $dh;
  closedir $dh;
  my %need;
  $need{ print_mode($_->{unit}) . ":$_->{tag}" } = 1 for @{ $manifest->{columns} };
  my @jobs;
  for my $f (@files) { push @jobs, [$f, $_] for sort keys %need }
  # Two processes (the machines this runs on have two cores).
  my @parts;
  for my $part (0, 1) {
    my $tmp = "$o{out}.part$part";
    my $pid = fork // fail("cannot fork: $!");
    if ($pid == 0) {
      my %r;
      for my $i (grep { $_ % 2 == $part } 0 .. $#jobs) {
        my ($f, $key) = @{ $jobs[$i] };
        my ($mode, $tag) = split /:/, $key, 2;
        $r{ decode('UTF-8', $f) }{$key} = exiftool_value("$o{photos}/$f", $tag, $mode);
      }
      write_file($tmp, $json->encode(\%r));
      exit 0;
    }
    push @parts, [$pid, $tmp];
  }
  my %all = map { decode('UTF-8', $_) => {} } @files;
  for (@parts) {
    my ($pid, $tmp) = @$_;
    waitpid $pid, 0;
    fail('working out the expected values failed') if $? != 0;
    my $r = $json->decode(read_file($tmp));
    unlink $tmp;
    for my $f (keys %$r) { $all{$f}{$_} = $r->{$f}{$_} for keys %{ $r->{$f} } }
  }
  write_file($o{out}, $json->encode(\%all));
  return 0;
}

# --------------------------------------------------- what the host must show

# The leading number of a text as the C library reads it (white space, sign,
# digits, point, exponent); 0 when there is none.
sub leading_float {
  my ($t) = @_;
  return 0 unless $t =~ /^\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?)/;
  return $1 + 0;
}

sub leading_int {
  my ($t, $bits) = @_;
  return '0' unless $t =~ /^\s*([+-]?\d+)/;
  # Clamped at the type's limits.
  my $v = Math::BigInt->new($1);
  my $max = Math::BigInt->new(2)->bpow($bits - 1)->bsub(1);
  my $min = $max->copy->binc->bneg;
  $v = $max if $v > $max;
  $v = $min if $v < $min;
  return $v->bstr;
}

# A double as Double Commander shows it: 15 significant digits, no trailing
# zeros; written with an exponent ("1E-6", "1.5E300") when the decimal
# exponent is below -5 or 15 and above. Learned from its display of known
# values: 1E-6, 0.00001, 0.000015, 100000000000000, 1E15, 0.3 for
# 0.30000000000000004, 0.123456789012346.
sub format_float {
  my ($v) = @_;
  return 'Nan' if $v != $v;
  return $v > 0 ? '+Inf' : '-Inf' if $v == 9**9**9 || $v == -9**9**9;
  return '0' if $v == 0;
  my ($m, $e) = sprintf('%.14e', $v) =~ /^(-?[\d.]+)e([+-]\d+)$/;
  $e += 0;
  if ($e < -5 || $e >= 15) {
    $m =~ s/\.?0+$//;
    return "${m}E$e";
  }
  my $f = sprintf('%.*f', 14 - $e, $v);
  $f =~ s/\.?0+$// if $f =~ /\./;
  return $f eq '-0' ? '0' : $f;
}

# "YYYY:MM:DD hh:mm:ss" with an optional zone (+hh:mm, -hh:mm, Z) as the
# Unix time it names; a time without zone is local time, and the test runs
# everything with TZ=UTC. undef when the text is no date and time.
sub parse_datetime {
  my ($t) = @_;
  $t =~ /^\s*(\d+):(\d+):(\d+)\s+(\d+):(\d+):(\d+)(?:\.\d+)?(?:(Z)|([+-])(\d+):(\d+))?/
    or return undef;
  my ($y, $mo, $d, $h, $mi, $s) = ($1, $2, $3, $4, $5, $6);
  return undef if $mo < 1 || $mo > 12 || $d < 1 || $d > 31 || $h > 23 || $mi > 59 || $s > 59;
  my $time = eval { timegm($s, $mi, $h, $d, $mo - 1, $y) };
  return undef unless defined $time;
  $time -= ($8 eq '-' ? -1 : 1) * ($9 * 3600 + $10 * 60) if defined $8;
  return $time;
}

# A date-time as Double Commander shows an ft_datetime value in the C.UTF-8
# locale: "mm/dd/yy hh:nn:ss AM|PM" (12-hour clock, 0 h is 12 AM), and the
# date alone when the time is exactly midnight. Learned from its display of
# known values (02/29/20 12:00:01 AM, 02/29/20 12:30:00 PM, 02/29/20,
# 01/01/01 for file time 0).
sub format_datetime {
  my ($time) = @_;
  my ($s, $mi, $h, $d, $mo, $y) = gmtime $time;
  my $date = sprintf('%02d/%02d/%02d', $mo + 1, $d, ($y + 1900) % 100);
  return $date if $h == 0 && $mi == 0 && $s == 0;
  my $h12 = $h % 12 == 0 ? 12 : $h % 12;
  return sprintf('%s %02d:%02d:%02d %s', $date, $h12, $mi, $s, $h < 12 ? 'AM' : 'PM');
}

# What the cell of column $c must show for what Exiftool printed ($printed,
# undef for nothing); undef when this test cannot tell. A number column whose
# text starts with no number, and a date column whose text is no valid date
# and time (0000:00:00 00:00:00 from a camera whose clock was never set),
# show an empty cell, as for a tag the photo lacks.
sub expected_cell {
  my ($c, $printed) = @_;
  return '' unless defined $printed;                    # no such tag: empty cell
  my ($type, $unit) = ($c->{type}, $c->{unit});
  return $printed if lc $unit eq 'default';             # as printed, as text
  return $printed if $type == 8 || $type == 9 || $type == 11;
  if ($type == 1 || $type == 2 || $type == 3) {
    return '' unless $printed =~ /^\s*[+-]?(?:\d|\.\d)/;
    return leading_int($printed, $type == 1 ? 32 : 64) if $type != 3;
    return format_float(leading_float($printed));
  }
  if ($type == 10) {
    my $t = parse_datetime($printed);
    return defined $t ? format_datetime($t) : '';
  }
  return undef;
}

# UTF-16 length of a text, and its first $n UTF-16 units (never half of a
# surrogate pair).
sub utf16_length { my $n = 0; $n += ord($_) > 0xFFFF ? 2 : 1 for split //, $_[0]; $n }
sub utf16_prefix {
  my ($t, $n) = @_;
  my ($out, $used) = ('', 0);
  for my $ch (split //, $t) {
    my $w = ord($ch) > 0xFFFF ? 2 : 1;
    last if $used + $w > $n;
    $out .= $ch;
    $used += $w;
  }
  return $out;
}

1;
