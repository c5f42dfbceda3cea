#!/usr/bin/perl
# Writes 10 MiB to standard output and 10 MiB to standard error, interleaved
# in 64 KiB blocks, then ends normally.
binmode(STDOUT);
binmode(STDERR);
$| = 1;
for my $i (1 .. 160) {
  print STDOUT 'o' x 65536;
  print STDERR 'e' x 65536;
}
