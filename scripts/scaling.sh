#!/usr/bin/env bash
# How a walk's time grows with cores, from costs measured here: Exiftool's
# CPU for one start (until its first reply) and for each photo of a batch
# request with every column of dist/Config.txt, and its memory after them.
# One stay-open Exiftool reads the benchmark photos (made as the walk
# benchmark makes them); its CPU comes from /proc, so a busy machine moves
# the figures less than it moves wall times. The model then gives a sort of
# N photos (and of 0.4 N) with one tool a core up to the module's limit,
# against one tool, and names the limit that binds at each core count.
# Usage: scaling.sh [N photos, default 1000]
set -eu
# shellcheck source=bench-common.sh
source "$(dirname "$0")/bench-common.sh"
bash "$root/bench/make_bench_photos.sh" "$build/photos" "$count" >/dev/null
limit=$(sed -n 's/^inline constexpr int kMaxTools = \([0-9]*\);.*/\1/p' \
  "$root/src/plugin/tool_pool.h")
[ -n "$limit" ] || { echo "no kMaxTools in src/plugin/tool_pool.h" >&2; exit 1; }

exec perl -w - "$tool" "$root/dist/Config.txt" "$build/photos" "$count" "$limit" <<'PERL'
use strict;
use IPC::Open2;
use POSIX ();
my ($tool, $config, $photos, $count, $limit) = @ARGV;
my $tick = POSIX::sysconf(POSIX::_SC_CLK_TCK()) || 100;

# The batch request's tags: each column's tag, '#' when its first unit is a
# plain number (what a view with default units asks).
open my $cf, '<', $config or die "$config: $!";
my (@tags, %seen);
while (<$cf>) {
  s/\r?\n$//;
  my @c = split /\t/;
  next unless @c >= 7 && $c[0] eq '1';
  my $tag = $c[1] . ((($c[7] // '') =~ /^#/) ? '#' : '');
  push @tags, $tag unless $seen{$tag}++;
}
die "no columns in $config\n" unless @tags;
my @files = sort glob("$photos/photo_*.jpg");
die "no photos in $photos\n" unless @files >= $count;
@files = @files[0 .. $count - 1];

my $pid = open2(my $out, my $in, $tool, '-stay_open', 'True', '-@', '-');
my $id = 0;
sub ask {
  my ($file) = @_;
  ++$id;
  print $in join("\n", '-args', '-fast', '-charset', 'FileName=UTF8',
                 map("-$_", @tags), $file, "-execute$id"), "\n";
  $in->flush;
  while (my $line = <$out>) { return if $line =~ /^\{ready$id\}/; }
  die "exiftool ended\n";
}
sub cpu {  # seconds of CPU used by the tool so far
  open my $st, '<', "/proc/$pid/stat" or die $!;
  my @f = split ' ', (<$st> =~ s/^.*\) //r);
  return ($f[11] + $f[12]) / $tick;
}
sub rss_mb {
  open my $st, '<', "/proc/$pid/status" or die $!;
  while (<$st>) { return $1 / 1024 if /^VmRSS:\s+(\d+)/; }
  return 0;
}
ask($files[0]);
my $start = cpu();
ask($_) for @files;
my $per = (cpu() - $start) / @files;
my $rss = rss_mb();
print $in "-stay_open\nFalse\n";
close $in;
waitpid $pid, 0;
# The start is what the first reply cost, less one photo.
$start -= $per;
$start = 0 if $start < 0;

printf "measured: start %.3f s CPU, %.2f ms CPU a photo (%d tags), %.0f MB resident after %d photos\n",
  $start, 1000 * $per, scalar @tags, $rss, scalar @files;
printf "model: one tool a core up to %d; the host's tool and the standby read from the first file,\n" .
  "each further tool joins after its start; disk reads from the page cache\n", $limit;

# A sort of n photos on c cores: the host asks one file at a time and the
# tools read ahead. The host's tool and the standby (started beside it, when
# the module was first asked) read from the first file while the others
# start, each on a core of its own; then all read side by side.
sub sort_time {
  my ($n, $c, $cap) = @_;
  $cap //= $limit;
  my $tools = $c < $cap ? $c : $cap;
  return ($n * $per / $tools, $tools) if $tools <= 2;
  my $early = 2 * $start / $per;  # photos the two running tools read meanwhile
  return ($n * $per / 2, $tools) if $early >= $n;
  return ($start + ($n - $early) * $per / $tools, $tools);
}
for my $n ($count, int(0.4 * $count)) {
  printf "\n%d photos       one tool %.2f s\n", $n, $n * $per;
  printf "%-6s %-6s %-9s %-8s %-8s %s\n", 'cores', 'tools', 'sort', 'speedup', 'memory',
    'what binds';
  for my $c (1, 2, 4, 8, 16) {
    my ($t, $tools) = sort_time($n, $c);
    my $why = $tools == 1 ? 'one core: nothing to read ahead on'
            : $tools < $c ? "the tool limit ($limit)"
            : 'cores';
    my $share = $n / $tools * $per;  # each tool's part of the walk
    $why .= sprintf '; start %.0f%% of the walk', 100 * $start / ($t || 1)
      if $tools > 2 && $share < 4 * $start;
    printf "%-6d %-6d %-9s %-8s %-8s %s\n", $c, $tools, sprintf('%.2f s', $t),
      sprintf('%.2fx', $n * $per / $t), sprintf('%.0f MB', $tools * $rss), $why;
  }
  my ($t16) = sort_time($n, 16, 16);
  printf "16 cores with 16 tools: %.2f s (%.2fx), %.0f MB\n", $t16, $n * $per / $t16, 16 * $rss;
}
PERL
