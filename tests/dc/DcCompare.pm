# What Double Commander shows against what it must show: reading the rows
# that its "copy file details" command put on the clipboard, the comparison
# cell by cell and of the sorting (dc_tool.pl compare), and the checks of
# these readings and of the display formats (dc_tool.pl selfcheck).
package DcCompare;
use strict;
use warnings;
use utf8;
use Encode qw(decode);
use Exporter qw(import);
use FindBin;
use lib $FindBin::Bin;
use Getopt::Long qw(GetOptionsFromArray);
use List::Util ();
use DcExpect qw(print_mode expected_cell leading_float leading_int format_float parse_datetime
                format_datetime utf16_length utf16_prefix $HOST_TEXT_UNITS);

our @EXPORT_OK = qw(cmd_compare cmd_cell cmd_selfcheck parse_shown);

# fail, read_file and $json are dc_tool.pl's, which loads this module; they
# are used here under the same names.
our $json;
BEGIN {
  no strict 'refs';
  no warnings 'once';
  *{$_} = \&{"main::$_"} for qw(fail read_file);
  *json = \$main::json;
}

# The rows of what cm_CopyFileDetailsToClip put on the clipboard: one line
# per file, cells separated by tabs, in the panel's order. A value may hold a
# line end itself, so rows are cut where a line end is followed by a known
# file name and a tab (or ends the text).
sub parse_shown {
  my ($text, $ncols, $names) = @_;
  $text =~ s/\n\z//;
  my @cells = split /\t/, $text, -1;
  my @rows;
  my %known = map { $_ => 1 } @$names;
  my $first = shift @cells;
  return (undef, 'nothing copied') unless defined $first && $known{$first};
  my @row = ($first);
  while (@cells) {
    my $cell = shift @cells;
    if (@row == $ncols - 1 && @cells) {
      # The last cell of this row, a line end, the next row's name.
      my $split;
      for my $name (sort { length $b <=> length $a } @$names) {
        if ($cell =~ /\A(.*)\n\Q$name\E\z/s) { $split = [$1, $name]; last }
      }
      return (undef, "row of $row[0]: cannot find where the next row starts") unless $split;
      push @row, $split->[0];
      push @rows, [@row];
      @row = ($split->[1]);
      next;
    }
    push @row, $cell;
  }
  push @rows, [@row];
  for (@rows) {
    return (undef, "row of $_->[0] has " . (@$_ - 1) . " value cells, not " . ($ncols - 1))
      unless @$_ == $ncols;
  }
  return (\@rows, undef);
}

sub shorten {
  my ($t) = @_;
  return '(nothing)' unless defined $t;
  my $n = length $t;
  (my $s = $t) =~ s/\n/\\n/g;
  $s =~ s/\t/\\t/g;
  $s = substr($s, 0, 60) . "...[$n characters]" if length $s > 70;
  return "\"$s\"";
}

sub cmd_compare {
  my %o;
  GetOptionsFromArray(\@_, \%o, 'manifest=s', 'expected=s', 'shown=s', 'quiet') or fail('bad options');
  my $manifest = $json->decode(read_file($o{manifest}));
  my $expected = $json->decode(read_file($o{expected}));
  my @columns = @{ $manifest->{columns} };
  my @names = sort keys %$expected;
  my $say = $o{quiet} ? sub {} : sub { print @_, "\n" };
  my $shown_text = -e $o{shown} ? decode('UTF-8', read_file($o{shown})) : '';

  my ($rows, $error) = parse_shown($shown_text, 1 + @columns, \@names);
  if (!$rows) {
    $say->("FAIL values: what Double Commander copied cannot be read: $error");
    $say->('        copied: ' . shorten($shown_text));
    $say->("FAIL sorting: no rows to judge") if defined $manifest->{sort_field};
    return 1;
  }
  my %row_of = map { $_->[0] => $_ } @$rows;
  my @problems;
  my @missing = grep { !$row_of{$_} } @names;
  push @problems, map { "file $_ is not listed" } @missing;

  my ($cells, $bad, $cut) = (0, 0, 0);
  my @mismatches;
  for my $name (@names) {
    my $row = $row_of{$name} or next;
    for my $i (0 .. $#columns) {
      my $c = $columns[$i];
      my $printed = $expected->{$name}{ print_mode($c->{unit}) . ":$c->{tag}" };
      my $want = expected_cell($c, $printed);
      fail("cannot judge column '$c->{title}' (type $c->{type}) for '" . ($printed // '') . "'")
        unless defined $want;
      my $shown = $row->[$i + 1];
      $cells++;
      my $ok = $shown eq $want;
      if (!$ok && utf16_length($want) > $HOST_TEXT_UNITS
          && $shown eq utf16_prefix($want, $HOST_TEXT_UNITS)) {
        $ok = 1;    # as much as the host's value buffer holds
        $cut++;
      }
      next if $ok;
      $bad++;
      push @mismatches, [$name, $c->{title}, $shown, $want];
    }
  }

  # Sorting: the panel is sorted ascending by the first column; its shown
  # values must be in number order (rows without a value aside), and those
  # values must sort differently as text, or the check would prove nothing.
  my ($sort_ok, $sort_text);
  if (defined $manifest->{sort_field}) {
    my @numbers = grep { $_ ne '' } map { $_->[1] } @$rows;
    my @in_order = sort { $a <=> $b } @numbers;
    my @as_text = sort { $a cmp $b } @numbers;
    my $title = $columns[0]{title};
    $sort_ok = 0;
    if (grep { !/^-?\d+(\.\d+)?(E-?\d+)?$/ } @numbers) {
      my %seen;
      my @odd = grep { !/^-?\d+(\.\d+)?(E-?\d+)?$/ && !$seen{$_}++ } @numbers;
      $sort_text = "sorting by $title: not all shown values are numbers: " . join(', ', map { shorten($_) } @odd);
    } elsif (@numbers < 3) {
      $sort_text = "sorting by $title: only " . scalar(@numbers) . " rows show a value";
    } elsif ("@numbers" ne "@in_order") {
      $sort_text = "sorting by $title: rows are not in number order: @numbers";
    } elsif ("@in_order" eq "@as_text") {
      $sort_text = "sorting by $title: the values (@numbers) sort the same as text, which proves nothing";
    } else {
      ($sort_ok, $sort_text) = (1, "sorting by $title: rows in number order (@numbers), not text order");
    }
  }

  my $values_ok = !@mismatches && !@missing;
  $say->(sprintf('%s values: %d files x %d columns, %d cells compared with one-shot exiftool, %d differ%s',
                 $values_ok ? 'PASS' : 'FAIL', scalar(@names), scalar(@columns), $cells, $bad,
                 $cut ? "; $cut cut to the host's $HOST_TEXT_UNITS-unit value buffer" : ''));
  # The first 40 differences; the rest are usually more of the same.
  for (@mismatches[0 .. List::Util::min(39, $#mismatches)]) {
    my ($name, $title, $shown, $want) = @$_;
    $say->("        $name | $title | shown " . shorten($shown) . ' | expected ' . shorten($want));
  }
  $say->('        ... and ' . (@mismatches - 40) . ' more') if @mismatches > 40;
  $say->("        $_") for @problems;
  $say->(($sort_ok ? 'PASS ' : 'FAIL ') . $sort_text) if defined $sort_ok;
  return ($values_ok && ($sort_ok // 1)) ? 0 : 1;
}

# One cell of what Double Commander shows: the column titled --title in the
# row of --file, printed with no line end. Exit status 3 when the manifest
# has no such column, 1 when the row is not shown.
sub cmd_cell {
  my %o;
  GetOptionsFromArray(\@_, \%o, 'manifest=s', 'expected=s', 'shown=s', 'title=s', 'file=s')
    or fail('bad options');
  my $manifest = $json->decode(read_file($o{manifest}));
  my $expected = $json->decode(read_file($o{expected}));
  my @columns = @{ $manifest->{columns} };
  my ($index) = grep { $columns[$_]{title} eq $o{title} } 0 .. $#columns;
  return 3 unless defined $index;
  my $shown_text = -e $o{shown} ? decode('UTF-8', read_file($o{shown})) : '';
  my ($rows) = parse_shown($shown_text, 1 + @columns, [sort keys %$expected]);
  my ($row) = grep { $_->[0] eq $o{file} } @{ $rows // [] };
  return 1 unless $row;
  print $row->[$index + 1];
  return 0;
}

# ------------------------------------------------------------------ selfcheck

# The comparison's own readings and formats against what Double Commander
# 1.0.10 showed for known values returned by a module, and against the
# readings' definitions: run first, so that a fault here is not blamed on
# the plugin.
sub cmd_selfcheck {
  my @bad;
  my %floats = (
    '1E-6' => 1e-6, '9.99E-6' => 9.99e-6, '0.000015' => 1.5e-5, '0.00001' => 1e-5,
    '-0.00001' => -1e-5, '999999999999999' => 999999999999999, '1E15' => 1e15,
    '100000000000000' => 1e14, '123456789012346' => 123456789012345.6,
    '0' => -0.0, '0.0001' => 1e-4, '12345.6789012346' => 12345.678901234567,
    '0.123456789012346' => 0.1234567890123456789, '1.5E300' => 1.5e300,
    '0.3' => 0.30000000000000004, '1E20' => 1e20, '123456789.123' => 123456789.123,
    '0.333333333333333' => 1 / 3, '1E-10' => 1e-10, '-0.5' => -0.5, '8' => 8,
    '1.23456789012346E18' => 1234567890123456789, '2.5E-7' => 2.5e-7, '100' => 100,
  );
  for my $want (sort keys %floats) {
    my $got = format_float($floats{$want});
    push @bad, "format_float($floats{$want}) = $got, not $want" unless $got eq $want;
  }
  my %dates = (
    '02/29/20 12:00:01 AM' => '2020:02:29 00:00:01', '02/29/20 12:30:00 PM' => '2020:02:29 12:30:00',
    '02/29/20 01:05:09 PM' => '2020:02:29 13:05:09', '12/31/00 11:59:59 PM' => '2100:12:31 23:59:59',
    '01/01/00' => '2000:01:01 00:00:00', '02/29/20 12:00:00 PM' => '2020:02:29 12:00:00',
    '02/29/20 01:00:00 AM' => '2020:02:29 01:00:00', '07/21/24 06:42:10 PM' => '2024:07:21 18:42:10',
    '01/02/99 03:04:05 AM' => '1999:01:02 03:04:05', '06/15/21 12:30:00 PM' => '2021:06:15 14:30:00+02:00',
    '01/01/20 01:00:00 AM' => '2019:12:31 23:00:00-02:00', '03/04/22 05:06:07 AM' => '2022:03:04 05:06:07Z',
  );
  for my $want (sort keys %dates) {
    my $t = parse_datetime($dates{$want});
    my $got = defined $t ? format_datetime($t) : '(no date)';
    push @bad, "date '$dates{$want}' shows as $got, not $want" unless $got eq $want;
  }
  push @bad, 'a non-date reads as a date' if defined parse_datetime('2020:13:01 00:00:00')
                                              || defined parse_datetime('none');
  push @bad, 'an unset date or a text without a number must show an empty cell'
    if expected_cell({ type => 10, unit => '' }, '0000:00:00 00:00:00') ne ''
    || expected_cell({ type => 1, unit => '' }, 'Hi 1') ne ''
    || expected_cell({ type => 3, unit => '#' }, 'n/a') ne ''
    || expected_cell({ type => 1, unit => '' }, '-5 EV') ne '-5';
  my @ints = (['400', '400', 32], ['50.0 mm', '50', 32], ['Hi 1', '0', 32], ['', '0', 32],
              ['99999999999', '2147483647', 32], ['-99999999999', '-2147483648', 32],
              [' +007', '7', 32], ['-0', '0', 32], ['99999999999', '99999999999', 64],
              ['99999999999999999999', '9223372036854775807', 64]);
  for (@ints) {
    my $got = leading_int($_->[0], $_->[2]);
    push @bad, "leading_int('$_->[0]', $_->[2]) = $got, not $_->[1]" unless $got eq $_->[1];
  }
  my @floats = (['1/250', 1], ['35.0 mm', 35], ['0.3333333', 0.3333333], ['-43.1729', -43.1729],
                ['x', 0], ['.5', 0.5], ['1e-3s', 0.001]);
  for (@floats) {
    my $got = leading_float($_->[0]);
    push @bad, "leading_float('$_->[0]') = $got, not $_->[1]" unless $got == $_->[1];
  }
  my $row_text = "a.jpg\tx\ty\nb c.jpg\tp\nq\tr\nb.jpg\ts\tt";
  my ($rows, $err) = parse_shown($row_text, 3, ['a.jpg', 'b.jpg', 'b c.jpg']);
  my $rows_seen = $rows ? join('|', map { join(',', @$_) } @$rows) : $err;
  push @bad, "rows read as $rows_seen" unless $rows_seen eq "a.jpg,x,y|b c.jpg,p\nq,r|b.jpg,s,t";
  push @bad, 'utf16 length/prefix' unless utf16_length("a\x{1F600}b") == 4
                                        && utf16_prefix("a\x{1F600}b", 2) eq 'a';
  print "dc_tool: selfcheck: $_\n" for @bad;
  return @bad ? 1 : 0;
}

1;
