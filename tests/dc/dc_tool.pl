#!/usr/bin/perl
# The Perl half of the Double Commander test: reads Config.txt, edits the
# configuration that Double Commander wrote for itself, works out what each
# cell must show, and compares that with what Double Commander shows.
#
#   dc_tool.pl columns   CONFIG
#   dc_tool.pl manifest  --plugin-config C --out MANIFEST [--first-unit-only]
#                        [--sort-field NAME] [--only-field NAME]
#   dc_tool.pl configure --dc DCDIR --module M --detect S --manifest MANIFEST
#                        --left DIR --right DIR [--copy-key KEY] [--set NAME]
#                        [--widths-from EXPECTED] [--fit-width PIXELS]
#                        [--splitter PERCENT]
#   dc_tool.pl expect    --manifest M --photos DIR --out FILE
#   dc_tool.pl compare   --manifest M --expected FILE --shown FILE [--quiet]
#   dc_tool.pl cell      --manifest M --expected FILE --shown FILE --title T --file F
#   dc_tool.pl header    --shot PPM --dc-xml XML --column N --window-x X --window-y Y
#                        [--set NAME]
#   dc_tool.pl order     --manifest M --expected TSV --shown FILE [--quiet]
#   dc_tool.pl selfcheck
#
# This file holds the helpers that all parts share and picks the command;
# the commands are in the modules beside it:
#   DcConfig.pm   Config.txt's fields; doublecmd.xml and shortcuts.scf
#                 (columns, manifest, configure)
#   DcExpect.pm   what one-shot exiftool prints, and how Double Commander
#                 1.0 displays each type of value (expect)
#   DcCompare.pm  what it shows against that (compare, cell, selfcheck)
#   DcSort.pm     the sort test's click on a column header and its check of
#                 the order (header, order)
use strict;
use warnings;
use utf8;
use FindBin;
use lib $FindBin::Bin;
use JSON::PP;
use DcConfig qw(cmd_columns cmd_manifest cmd_configure);
use DcExpect qw(cmd_expect);
use DcCompare qw(cmd_compare cmd_cell cmd_selfcheck);
use DcSort qw(cmd_header cmd_order);

binmode STDOUT, ':encoding(UTF-8)';
binmode STDERR, ':encoding(UTF-8)';

# The helpers that the modules share; each takes them over by name.
sub fail { print STDERR "dc_tool: @_\n"; exit 2; }

sub read_file {
  my ($path) = @_;
  open my $fh, '<:raw', $path or fail("cannot read $path: $!");
  local $/;
  my $data = <$fh>;
  close $fh;
  return $data // '';
}

sub write_file {
  my ($path, $data) = @_;
  open my $fh, '>:raw', $path or fail("cannot write $path: $!");
  print $fh $data;
  close $fh or fail("cannot write $path: $!");
}

# The manifest and the expected values are JSON files: UTF-8, keys sorted,
# indented.
our $json = JSON::PP->new->utf8->canonical->pretty;

# -------------------------------------------------------------------- main

my $cmd = shift(@ARGV) // '';
my %commands = (columns => \&cmd_columns, manifest => \&cmd_manifest, configure => \&cmd_configure,
                expect => \&cmd_expect, compare => \&cmd_compare, cell => \&cmd_cell,
                header => \&cmd_header, order => \&cmd_order, selfcheck => \&cmd_selfcheck);
$commands{$cmd} or fail("unknown command '$cmd'");
exit $commands{$cmd}->(@ARGV);
