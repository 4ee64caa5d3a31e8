# The sort test's parts (tests/dc/dc_sort_test.sh): where on the screen the
# header of the plugin's column is, for the click that sorts by it
# (dc_tool.pl header), and whether the panel then lists the photos in the
# order of their dates (dc_tool.pl order).
package DcSort;
use strict;
use warnings;
use utf8;
use Encode qw(decode);
use Exporter qw(import);
use FindBin;
use lib $FindBin::Bin;
use Getopt::Long qw(GetOptionsFromArray);
use List::Util ();
use DcExpect qw(expected_cell parse_datetime);
use DcCompare qw(parse_shown);

our @EXPORT_OK = qw(cmd_header cmd_order);

our $json;
BEGIN {
  no strict 'refs';
  no warnings 'once';
  *{$_} = \&{"main::$_"} for qw(fail read_file);
  *json = \$main::json;
}

# ------------------------------------------------------------------- header

# The widths of the columns of column set $set in doublecmd.xml, in order.
sub set_widths {
  my ($xml, $set) = @_;
  $xml =~ m{<ColumnsSet\b[^>]*>\s*<Name>\Q$set\E</Name>(.*?)</ColumnsSet>}s
    or fail("doublecmd.xml: no column set $set");
  my $body = $1;
  my @widths = $body =~ m{<Column>.*?<Width>(\d+)</Width>.*?</Column>}sg;
  fail("doublecmd.xml: column set $set has no widths") unless @widths;
  return @widths;
}

# A screenshot in binary PPM (what `import -depth 8 ... FILE.ppm` writes):
# [width, height, the pixels' bytes].
sub read_ppm {
  my ($shot) = @_;
  my $data = read_file($shot);
  $data =~ s/\AP6\s+(\d+)\s+(\d+)\s+255\s//s or fail("$shot: not a binary PPM with 8-bit samples");
  my ($width, $height) = ($1, $2);
  fail("$shot: cut short") if length($data) < $width * $height * 3;
  return [$width, $height, $data];
}

# The runs of one colour down the pixel column at x = $x, from y = $top on:
# [colour, first y, height].
sub pixel_runs {
  my ($ppm, $x, $top) = @_;
  my ($width, $height) = @$ppm;
  my @runs;
  for my $y ($top .. $height - 1) {
    my $colour = unpack('H6', substr($ppm->[2], ($y * $width + $x) * 3, 3));
    if (@runs && $runs[-1][0] eq $colour) { $runs[-1][2]++ }
    else { push @runs, [$colour, $y, 1] }
  }
  return @runs;
}

# The first band of one colour, 16 px or taller, with a band of 4 px or more
# ending at most 4 px above it (text may cross the bar above) and one of 8
# px or more starting at most 4 px below, both of one other colour:
# [top, height], or nothing.
sub header_band {
  my @runs = @_;
  for my $k (0 .. $#runs) {
    my ($colour, $top, $height) = @{ $runs[$k] };
    next if $height < 16;
    my ($above) = grep { $_->[2] >= 4 && $_->[1] + $_->[2] <= $top && $_->[1] + $_->[2] >= $top - 4 }
                  reverse @runs[0 .. $k - 1];
    my ($below) = grep { $_->[2] >= 8 && $_->[1] >= $top + $height && $_->[1] <= $top + $height + 4 }
                  @runs[$k + 1 .. $#runs];
    return [$top, $height] if $above && $below && $above->[0] eq $below->[0] && $above->[0] ne $colour;
  }
  return;
}

# Prints "X Y": the centre of the header of column COLUMN (0 is the name) of
# the left panel, in screen coordinates. The header is found in a
# screenshot of the window just after start: between the panel's path bar
# and the row under the cursor, which the host paints in the same highlight
# colour (the panel must be the active one), the band of the header's own
# colour. It is looked for down several pixel columns inside the name
# column, right of its title "Name" and of the cursor row's "[..]" (the
# path's text crosses some of them), and the band most of them find is
# taken. The column's x comes from the set's widths.
sub cmd_header {
  my %o = (set => 'Veltamo');
  GetOptionsFromArray(\@_, \%o, 'shot=s', 'dc-xml=s', 'set=s', 'column=i', 'window-x=i',
                      'window-y=i')
    or fail('bad options');
  for (qw(shot dc-xml column window-x window-y)) { fail("--$_ missing") unless defined $o{$_} }
  my @widths = set_widths(read_file($o{'dc-xml'}), $o{set});
  fail("column $o{column}: the set has " . scalar(@widths) . ' columns') if $o{column} > $#widths;
  my $ppm = read_ppm($o{shot});
  my %found;
  for (my $dx = 64; $dx <= $widths[0] - 10; $dx += 8) {
    my $x = $o{'window-x'} + $dx;
    last if $x >= $ppm->[0];
    my $band = header_band(pixel_runs($ppm, $x, $o{'window-y'})) or next;
    $found{"@$band"}++;
  }
  my ($best) = sort { $found{$b} <=> $found{$a} || $a cmp $b } keys %found
    or fail("$o{shot}: no column header found");
  my ($top, $height) = split / /, $best;
  my $x = $o{'window-x'} + 3;
  $x += $widths[$_] for 0 .. $o{column} - 1;
  $x += int($widths[$o{column}] / 2);
  printf "%d %d\n", $x, $top + int($height / 2);
  return 0;
}

# -------------------------------------------------------------------- order

# Checks what the panel shows (the copied details of its files: name, then
# the column of the date field) against EXPECTED, the lines
# "NAME<TAB>VALUE" that one `exiftool -T -FileName -TAG` run over the folder
# printed: every file listed once with its value as the host displays it,
# and the rows in ascending order of those dates. The dates must be
# distinct, and sort otherwise than the names and than the shown texts, or
# the check would prove nothing.
sub cmd_order {
  my %o;
  GetOptionsFromArray(\@_, \%o, 'manifest=s', 'expected=s', 'shown=s', 'quiet') or fail('bad options');
  for (qw(manifest expected shown)) { fail("--$_ missing") unless defined $o{$_} }
  my $say = $o{quiet} ? sub {} : sub { print @_, "\n" };
  my @columns = @{ $json->decode(read_file($o{manifest}))->{columns} };
  fail('the manifest must hold one column, of type ft_datetime')
    unless @columns == 1 && $columns[0]{type} == 10;
  my $c = $columns[0];
  my (%printed, %time);
  for my $line (split /\n/, decode('UTF-8', read_file($o{expected}))) {
    my ($name, $value) = split /\t/, $line, 2;
    next unless defined $value;
    $printed{$name} = $value;
    $time{$name} = parse_datetime($value);
    fail("expected: $name has no date ($value)") unless defined $time{$name};
  }
  my @names = sort keys %printed;
  fail('expected: fewer than 3 files') if @names < 3;
  my %times_seen;
  $times_seen{ $time{$_} }++ and fail("expected: two files taken at $printed{$_}") for @names;
  my @want = sort { $time{$a} <=> $time{$b} } @names;
  fail('expected: the dates sort the same as the names, which proves nothing') if "@want" eq "@names";

  my ($rows, $error) = parse_shown(-e $o{shown} ? decode('UTF-8', read_file($o{shown})) : '',
                                   2, \@names);
  if (!$rows) {
    $say->("FAIL sort by $c->{title}: what Double Commander copied cannot be read: $error");
    return 1;
  }
  my @problems;
  my %count;
  $count{ $_->[0] }++ for @$rows;
  push @problems, "$_ listed $count{$_} times" for grep { ($count{$_} // 0) > 1 } @names;
  push @problems, "$_ not listed" for grep { !$count{$_} } @names;
  for my $row (@$rows) {
    my $want_cell = expected_cell($c, $printed{ $row->[0] });
    push @problems, "$row->[0] shows '$row->[1]', not '$want_cell'" if $row->[1] ne $want_cell;
  }
  my @shown = map { $_->[0] } @$rows;
  if (!@problems && "@shown" ne "@want") {
    my ($i) = grep { $shown[$_] ne $want[$_] } 0 .. $#want;
    push @problems, "rows not in date order: row " . ($i + 1) . " is $shown[$i] ($printed{$shown[$i]}),"
                    . " where $want[$i] ($printed{$want[$i]}) belongs";
  }
  my @texts = map { $_->[1] } @$rows;
  push @problems, 'the shown texts sort the same as the dates, which proves nothing'
    if !@problems && join("\t", sort @texts) eq join("\t", @texts);
  if (@problems) {
    $say->("FAIL sort by $c->{title}: " . scalar(@problems) . (@problems == 1 ? ' problem' : ' problems'));
    $say->("        $_") for @problems[0 .. ($#problems < 19 ? $#problems : 19)];
    return 1;
  }
  $say->("PASS sort by $c->{title}: " . scalar(@names) . ' files in the order of their dates'
         . ' (not name order, not text order), every cell equal to one-shot exiftool\'s');
  return 0;
}

1;
