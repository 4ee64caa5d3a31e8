#!/usr/bin/perl
# Prints, one a line, words that an Exiftool script's own argument reader
# takes as options (without their leading "-"), read from the script given:
# every "$a eq 'word'" test and every anchored pattern tested against the
# argument in its option loop, each pattern expanded into the words it
# matches (with short runs for repeats); and the options it reads before
# that loop or between requests. Only words the pattern really matches are
# printed. Exits 1 when the script cannot be read or its option
# loop is not found.
use strict;
use warnings;

my $script = shift or die "usage: exiftool_options.pl EXIFTOOL_SCRIPT\n";
open(my $in, '<', $script) or do { print STDERR "cannot read $script: $!\n"; exit 1 };
my @lines = <$in>;
close $in;

# The option loop: from where the argument is lower-cased into $a up to the
# first test for a tag assignment ("TAG=VALUE", "TAG<=FILE").
my ($start, $end);
for my $i (0 .. $#lines) {
  $start = $i if !defined $start && $lines[$i] =~ /^\s*my \$a = lc \$_;/;
  if (defined $start && $lines[$i] =~ m{^\s*if \(/\^\[\^<\]\+}) { $end = $i; last; }
}
unless (defined $start && defined $end) {
  print STDERR "$script: no option loop found\n";
  exit 1;
}

# ---------------------------------------------------------------- expansion
# A small expander for the pattern syntax these tests use: literals, \d, \w,
# \. and other escapes, [classes], (groups|with|alternatives), (?:...), and
# the quantifiers ?, * and +. Each gives a short list of strings it matches.

my $cap = 400;    # strings kept per sequence

sub limit { my @s = @_; splice(@s, $cap) if @s > $cap; return @s }

sub class_members {
  my ($body) = @_;
  my @out;
  my @chars = split //, $body;
  for (my $i = 0; $i < @chars; ++$i) {
    my $c = $chars[$i];
    if ($c eq '\\' && $i + 1 < @chars) {
      my $e = $chars[++$i];
      push @out, $e eq 'd' ? ('1', '2') : $e eq 'w' ? ('a', '_') : $e eq 's' ? (' ') : ($e);
    } elsif ($i + 2 < @chars && $chars[$i + 1] eq '-' && $chars[$i + 2] ne ']') {
      push @out, $c, $chars[$i + 2];
      $i += 2;
    } else {
      push @out, $c;
    }
  }
  return @out;
}

# Parses an alternation from position $$pos up to ")" or the end.
sub parse_alternation {
  my ($re, $pos) = @_;
  my @all;
  for (;;) {
    push @all, parse_sequence($re, $pos);
    if ($$pos < length $re && substr($re, $$pos, 1) eq '|') { ++$$pos; next; }
    last;
  }
  return limit(@all);
}

sub parse_sequence {
  my ($re, $pos) = @_;
  my @acc = ('');
  while ($$pos < length $re) {
    my $c = substr($re, $$pos, 1);
    last if $c eq '|' || $c eq ')';
    my @atom;
    if ($c eq '(') {
      ++$$pos;
      $$pos += 2 if substr($re, $$pos, 2) eq '?:';
      @atom = parse_alternation($re, $pos);
      ++$$pos;    # ")"
    } elsif ($c eq '[') {
      my $close = index($re, ']', $$pos + 2);
      @atom = class_members(substr($re, $$pos + 1, $close - $$pos - 1));
      $$pos = $close + 1;
    } elsif ($c eq '\\') {
      my $e = substr($re, $$pos + 1, 1);
      if ($e eq 'x') {
        @atom = (chr(hex(substr($re, $$pos + 2, 2))));
        $$pos += 4;
      } else {
        @atom = $e eq 'd' ? ('1', '2') : $e eq 'w' ? ('a') : ($e);
        $$pos += 2;
      }
    } elsif ($c eq '.') {
      @atom = ('x', ':', '-');
      ++$$pos;
    } else {
      @atom = ($c);
      ++$$pos;
    }
    my $q = $$pos < length $re ? substr($re, $$pos, 1) : '';
    if ($q eq '?' || $q eq '*' || $q eq '+') {
      ++$$pos;
      my @one = @atom;
      my @two = map { my $a = $_; map { $a . $_ } @one } @one;
      @atom = $q eq '?' ? ('', @one) : $q eq '*' ? ('', @one, @two) : (@one, @two);
    }
    @acc = limit(map { my $p = $_; map { $p . $_ } @atom } @acc);
  }
  return @acc;
}

sub expand {
  my ($body) = @_;
  my $pos = 0;
  return parse_alternation($body, \$pos);
}

# ---------------------------------------------------------------- the loop

my %words;
for my $line (@lines[$start .. $end - 1]) {
  while ($line =~ /\$a eq '([^']*)'/g) { $words{$1} = 1; }
  # Patterns tested against the argument itself: at the start of a
  # statement, after "if (", "(" or "or"; never those bound to another
  # variable with =~ or !~.
  while ($line =~ m{(?:^\s*|\(\s*|\bor\s+)/\^(.*?)\$/([a-z]*)}g) {
    my ($body, $flags) = ($1, $2);
    my $re = $flags =~ /i/ ? qr/^(?:$body)$/i : qr/^(?:$body)$/;
    for my $word (expand($body)) {
      $words{$word} = 1 if $word =~ $re;
    }
  }
}
# Options the reader handles before that loop or between requests ("-config",
# "-common_args", "-execute", "-stay_open"): anchored patterns that begin
# with the option's dash, and comparisons of an argument with "-word".
for my $i (0 .. $#lines) {
  next if $i >= $start && $i < $end;
  my $line = $lines[$i];
  while ($line =~ m{/\^(?:-|\(-\|\\xe2\\x88\\x92\))([a-z_].*?)\$/([a-z]*)}gi) {
    my ($body, $flags) = ($1, $2);
    my $re = $flags =~ /i/ ? qr/^(?:$body)$/i : qr/^(?:$body)$/;
    for my $word (expand($body)) {
      $words{$word} = 1 if $word =~ $re;
    }
  }
  next unless $line =~ /ARGV|lastOpt/;
  while ($line =~ /eq '-([a-z_]+)'/g) { $words{$1} = 1; }
}
print "$_\n" for sort keys %words;
