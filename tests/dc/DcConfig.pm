# The plugin's side and the host's side of the configuration: the fields a
# Config.txt declares (dc_tool.pl columns, manifest), and the edits to the
# configuration that Double Commander wrote for itself, doublecmd.xml and
# shortcuts.scf (dc_tool.pl configure).
package DcConfig;
use strict;
use warnings;
use utf8;
use Encode qw(decode encode);
use Exporter qw(import);
use FindBin;
use lib $FindBin::Bin;
use Getopt::Long qw(GetOptionsFromArray);
use List::Util ();
use DcExpect qw(print_mode expected_cell);

our @EXPORT_OK = qw(cmd_columns cmd_manifest cmd_configure);

# fail, read_file, write_file and $json are dc_tool.pl's, which loads this
# module; they are used here under the same names.
our $json;
BEGIN {
  no strict 'refs';
  no warnings 'once';
  *{$_} = \&{"main::$_"} for qw(fail read_file write_file);
  *json = \$main::json;
}

# The field types as Config.txt names them, and their numbers in the plugin
# interface.
my %TYPE_CODE = (
  ft_nomorefields => 0, ft_numeric_32 => 1, ft_numeric_64 => 2,
  ft_numeric_floating => 3, ft_date => 4, ft_time => 5, ft_boolean => 6,
  ft_multiplechoice => 7, ft_string => 8, ft_fulltext => 9, ft_datetime => 10,
  ft_stringw => 11, ft_comparecontent => 100,
);
my %TYPE_NAME = reverse %TYPE_CODE;

# The plugin's name in Double Commander: its file name without extension,
# as the options dialog names a module it adds.
my $PLUGIN_NAME = 'Veltamo';

# ----------------------------------------------------------------- Config.txt

# The fields of a Config.txt, as dist/README.txt describes it: a header
# "COUNT F<SEP>INVERT PREFIXES" (or S for the simple syntax), the tool line,
# a title line, then one line per field. Returns [{name, tag, type, units}].
sub read_fields {
  my ($path) = @_;
  my $raw = read_file($path);
  $raw =~ s/\x1a.*//s;          # byte 26 ends the file
  $raw =~ s/\r\n/\n/g;
  my @lines = split /\n/, $raw, -1;
  my $header = shift(@lines) // '';
  $header =~ /^\s*([+-]?\d+).(.)(.)/ or fail("$path: unreadable header line '$header'");
  my ($count, $syntax, $sep) = ($1, $2, $3);
  $count = 2000 if $count > 2000;
  splice @lines, 0, 2;          # the tool, the titles
  my @fields;
  for my $line (@lines) {
    last if @fields >= $count;
    $line =~ s/\0.*//s;
    my %f;
    if ($syntax eq 'S') {
      my ($code, $name) = $line =~ /^\s*([+-]?\d+).\s*(\S*)/ ? ($1, $2) : (11, '');
      $name =~ s/[=< ].*//;
      %f = (name => $name, tag => $name, type => $code + 0, units => '');
    } elsif ($syntax eq 'F') {
      my @c = split /\Q$sep\E/, $line, -1;
      next if @c < 7 || $c[0] !~ /^1/;
      (my $tag = $c[1]) =~ s/[=< ].*//;
      %f = (name => $c[6], tag => $tag, type => $TYPE_CODE{lc $c[3]} // 11,
            units => @c > 7 ? join($sep, @c[7 .. $#c]) : '');
    } else {
      last;
    }
    $f{$_} = decode('UTF-8', $f{$_}) for qw(name tag units);
    push @fields, \%f;
  }
  return @fields;
}

# The columns the test shows: one per field and unit entry; a field without
# units gets one column with the empty unit.
sub plugin_columns {
  my ($path) = @_;
  my @columns;
  for my $f (read_fields($path)) {
    next if $f->{name} eq '' || $f->{name} eq '-';
    my @units = $f->{units} eq '' ? ('') : split /\|/, $f->{units}, -1;
    my %seen;
    for my $u (@units) {
      next if $seen{$u}++;
      push @columns, { %$f, unit => $u,
                       func => "[Plugin($PLUGIN_NAME).$f->{name}\{$u\}]",
                       title => $u eq '' ? $f->{name} : "$f->{name} {$u}" };
    }
  }
  fail("no fields in $path") unless @columns;
  return @columns;
}

# One line per column: field name, tag, type, unit, column title.
sub cmd_columns {
  for my $c (plugin_columns($_[0])) {
    print join("\t", $c->{name}, $c->{tag}, $TYPE_NAME{$c->{type}} // $c->{type}, $c->{unit},
               $c->{title}), "\n";
  }
  return 0;
}

# ----------------------------------------------------- Double Commander's files

sub xml_text {
  my ($s) = @_;
  $s =~ s/&/&amp;/g;
  $s =~ s/</&lt;/g;
  $s =~ s/>/&gt;/g;
  return $s;
}

# Replaces the one match of $re in $$doc by what $make returns (called with
# the match's groups), or fails.
sub replace_once {
  my ($doc, $re, $make, $what) = @_;
  my $n = 0;
  $n++ while $$doc =~ /$re/g;
  fail("doublecmd.xml: expected one $what, found $n") unless $n == 1;
  $$doc =~ s/$re/$make->($1, $2, $3)/e;
}

# One panel's tab list with one tab, as Double Commander writes it when it
# saves its session: path, column set and (after a click on a column
# header) the sorting.
sub tab_xml {
  my ($indent, $path, $set, $sorting) = @_;
  $path .= '/' unless $path =~ m{/$};
  my $i = ' ' x $indent;
  my $x = "$i<ActiveTab>0</ActiveTab>\n"
        . "$i<Tab>\n"
        . "$i  <FileView Type=\"columns\">\n";
  if ($sorting) {
    $x .= "$i    <Sortings>\n"
        . "$i      <Sorting>\n"
        . "$i        <Direction>$sorting->{direction}</Direction>\n"
        . "$i        <Function>$sorting->{function}</Function>\n"
        . "$i      </Sorting>\n"
        . "$i    </Sortings>\n";
  }
  return $x
       . "$i    <History>\n"
       . "$i      <Entry Active=\"True\">\n"
       . "$i        <FileSource Type=\"FileSystem\"/>\n"
       . "$i        <Paths>\n"
       . "$i          <Path Filename=\"\">" . xml_text($path) . "</Path>\n"
       . "$i        </Paths>\n"
       . "$i      </Entry>\n"
       . "$i    </History>\n"
       . "$i    <ColumnsView>\n"
       . "$i      <ColumnsSet>" . xml_text($set) . "</ColumnsSet>\n"
       . "$i    </ColumnsView>\n"
       . "$i  </FileView>\n"
       . "$i</Tab>\n";
}

# The columns to show, in order, as a manifest that the other commands
# read: one per field and unit (or per field, with --first-unit-only; of
# that field alone, with --only-field); the columns of --sort-field first.
sub cmd_manifest {
  my %o;
  GetOptionsFromArray(\@_, \%o, 'plugin-config=s', 'out=s', 'first-unit-only', 'sort-field=s',
                      'only-field=s')
    or fail('bad options');
  for (qw(plugin-config out)) { fail("--$_ missing") unless defined $o{$_} }
  my @columns = plugin_columns($o{'plugin-config'});
  if (defined $o{'only-field'}) {
    @columns = grep { $_->{name} eq $o{'only-field'} } @columns;
    fail("--only-field $o{'only-field'}: no such field") unless @columns;
  }
  if ($o{'first-unit-only'}) {
    my %seen;
    @columns = grep { !$seen{ $_->{name} }++ } @columns;
    $_->{title} = $_->{name} for @columns;
  }
  if (defined $o{'sort-field'}) {
    # Double Commander keeps a sorting by a plugin column as function 128
    # ("a plugin value") alone, and applies it to the first plugin column of
    # the set: the columns of the sort field go first.
    my @first = grep { $_->{name} eq $o{'sort-field'} } @columns;
    fail("--sort-field $o{'sort-field'}: no such field") unless @first;
    @columns = (@first, grep { $_->{name} ne $o{'sort-field'} } @columns);
  }
  write_file($o{out}, $json->encode({
    sort_field => $o{'sort-field'},
    columns => [ map { my $c = $_; +{ map { $_ => $c->{$_} } qw(title name tag type unit func) } }
                 @columns ],
  }));
  return 0;
}

# Column widths in pixels: room for the title (plain) and for the longest
# value the column will show (bold, at most 30 characters), when the
# expected values are known; else by type.
sub column_widths {
  my ($columns, $expected) = @_;
  my $bold = sub {
    my $w = 0;
    $w += /[A-Z]/ ? 10.6 : 8.8 for split //, substr($_[0], 0, 40);
    return $w;
  };
  my $px = sub {
    my ($title, $longest) = @_;
    return int(14 + List::Util::max(7.4 * length($title) + 6, $bold->($longest)));
  };
  my @widths;
  for my $c (@$columns) {
    my $number = ($c->{type} == 1 || $c->{type} == 2 || $c->{type} == 3) && lc $c->{unit} ne 'default';
    if ($expected) {
      my $longest = '';
      for my $file (keys %$expected) {
        my $cell = expected_cell($c, $expected->{$file}{ print_mode($c->{unit}) . ":$c->{tag}" });
        $longest = $cell if defined $cell && $bold->($cell) > $bold->($longest);
      }
      push @widths, $px->($c->{title}, $longest);
    } else {
      push @widths, $number ? 75 : $c->{type} == 10 ? 160 : 140;
    }
  }
  my $name = $expected ? $px->('Name', (sort { $bold->($b) <=> $bold->($a) } keys %$expected)[0]) + 24
                       : 170;
  return ($name, @widths);
}

sub cmd_configure {
  my %o = (set => $PLUGIN_NAME, 'copy-key' => 'Ctrl+Shift+F12');
  GetOptionsFromArray(\@_, \%o, 'dc=s', 'module=s', 'detect=s', 'manifest=s',
                      'left=s', 'right=s', 'copy-key=s', 'set=s', 'widths-from=s',
                      'fit-width=i', 'splitter=i')
    or fail('bad options');
  for (qw(dc module detect manifest left right)) {
    fail("--$_ missing") unless defined $o{$_};
  }
  my $manifest = $json->decode(read_file($o{manifest}));
  my @columns = @{ $manifest->{columns} };

  my $xml_path = "$o{dc}/doublecmd.xml";
  my $doc = decode('UTF-8', read_file($xml_path));

  # The module, as Options > Plugins > WDX > Add writes it: name, path and
  # the detect string the module gave.
  my $entry = "      <WdxPlugin>\n"
            . "        <Name>$PLUGIN_NAME</Name>\n"
            . "        <Path>" . xml_text($o{module}) . "</Path>\n"
            . "        <DetectString>" . xml_text($o{detect}) . "</DetectString>\n"
            . "      </WdxPlugin>\n";
  $doc =~ s{\n[ ]*<WdxPlugin>\s*<Name>\Q$PLUGIN_NAME\E</Name>.*?</WdxPlugin>}{}s;
  if ($doc =~ m{<WdxPlugins/>}) {
    replace_once(\$doc, qr{([ ]*)<WdxPlugins/>},
                 sub { "$_[0]<WdxPlugins>\n$entry$_[0]</WdxPlugins>" }, 'WdxPlugins');
  } else {
    replace_once(\$doc, qr{\n([ ]*)</WdxPlugins>},
                 sub { "\n$entry$_[0]</WdxPlugins>" }, 'WdxPlugins end');
  }

  # A column set modelled on the one Double Commander wrote as its default:
  # the same elements, with its first column as the pattern of each column.
  $doc =~ m{<ColumnsSets\b[^>]*>(\n[ ]*<ColumnsSet\b[^>]*>.*?</ColumnsSet>)}s
    or fail('doublecmd.xml: no column set to model the new one on');
  my $set = $1;
  $set =~ m{(\n[ ]*<Column>.*?</Column>)}s or fail('doublecmd.xml: no column in the default set');
  my $pattern = $1;
  my $make_column = sub {
    my ($title, $func, $width, $align) = @_;
    my $c = $pattern;
    $c =~ s{<Title>.*?</Title>}{'<Title>' . xml_text($title) . '</Title>'}se;
    $c =~ s{<FuncString>.*?</FuncString>}{'<FuncString>' . xml_text($func) . '</FuncString>'}se;
    $c =~ s{<Width>.*?</Width>}{<Width>$width</Width>}s;
    $c =~ s{<Align>.*?</Align>}{<Align>$align</Align>}s;
    return $c;
  };
  # With --fit-width, columns wider than that all together shrink to fit.
  my ($name_width, @widths) =
    column_widths(\@columns, $o{'widths-from'} ? $json->decode(read_file($o{'widths-from'})) : undef);
  if ($o{'fit-width'}) {
    my $sum = $name_width;
    $sum += $_ for @widths;
    if ($sum > $o{'fit-width'}) {
      my $scale = $o{'fit-width'} / $sum;
      $_ = int($_ * $scale) for $name_width, @widths;
    }
  }
  my $cols = $make_column->('Name', '[DC().GETFILENAME{}]', $name_width, 0);
  for my $i (0 .. $#columns) {
    my $c = $columns[$i];
    my $number = ($c->{type} == 1 || $c->{type} == 2 || $c->{type} == 3)
                 && lc $c->{unit} ne 'default';
    # Numbers right-aligned (1), everything else left-aligned (0).
    $cols .= $make_column->($c->{title}, $c->{func}, $widths[$i], $number ? 1 : 0);
  }
  $set =~ s{<Name>.*?</Name>}{'<Name>' . xml_text($o{set}) . '</Name>'}se;
  $set =~ s{(<Columns>).*(\n[ ]*</Columns>)}{$1$cols$2}s;
  $doc =~ s{\n[ ]*<ColumnsSet\b[^>]*>\s*<Name>\Q$o{set}\E</Name>.*?</ColumnsSet>}{}s;
  replace_once(\$doc, qr{\n([ ]*)</ColumnsSets>}, sub { "$set\n$_[0]</ColumnsSets>" },
               'end of the column sets');

  # The panels: the photos on the left with the new set (sorted ascending by
  # the first plugin column, if asked), the right one somewhere quiet.
  my $sorting = defined $manifest->{sort_field} ? { direction => 1, function => 128 } : undef;
  replace_once(\$doc, qr{<OpenedTabs>\n([ ]*)<Left>\n.*?\n\1</Left>}s,
               sub { "<OpenedTabs>\n$_[0]<Left>\n"
                     . tab_xml(length($_[0]) + 2, $o{left}, $o{set}, $sorting)
                     . "$_[0]</Left>" }, 'left panel');
  replace_once(\$doc, qr{\n([ ]*)<Right>\n.*?\n\1</Right>}s,
               sub { "\n$_[0]<Right>\n"
                     . tab_xml(length($_[0]) + 2, $o{right}, 'Default', undef)
                     . "$_[0]</Right>" }, 'right panel');
  $doc =~ s{<ActiveRight>True</ActiveRight>}{<ActiveRight>False</ActiveRight>};
  # The share of the window's width that the left panel takes.
  if ($o{splitter}) {
    replace_once(\$doc, qr{(<MainWindow>.*?<Splitter>)\d+(</Splitter>)}s,
                 sub { "$_[0]$o{splitter}$_[1]" }, 'main window splitter');
  }
  write_file($xml_path, encode('UTF-8', $doc));

  # A key for cm_CopyFileDetailsToClip ("copy the shown details of the
  # selected files"), bound in the main window as the hot key editor does.
  my $scf_path = "$o{dc}/shortcuts.scf";
  my $scf = read_file($scf_path);
  # The test also uses two of Double Commander's own keys.
  $scf =~ m{<Shortcut>Alt\+X</Shortcut>\s*<Command>cm_Exit</Command>}
    or fail('shortcuts.scf: Alt+X is not cm_Exit');
  $scf =~ m{<Shortcut>Ctrl\+A</Shortcut>\s*<Command>cm_MarkMarkAll</Command>}
    or fail('shortcuts.scf: Ctrl+A is not cm_MarkMarkAll');
  my $key = "      <Hotkey>\n"
          . "        <Shortcut>$o{'copy-key'}</Shortcut>\n"
          . "        <Command>cm_CopyFileDetailsToClip</Command>\n"
          . "      </Hotkey>\n";
  $scf =~ s{\s*<Hotkey>\s*<Shortcut>\Q$o{'copy-key'}\E</Shortcut>.*?</Hotkey>}{}gs;
  $scf =~ s{(<Form Name="Main">\n)}{$1$key} or fail('shortcuts.scf: no main window form');
  write_file($scf_path, $scf);

  return 0;
}

1;
