#!/usr/bin/perl
# Stand-in content script. Records its call in calls.log of the bundle root
# (the folder above Resources) the way the style stand-ins do, then prints
# inventory.txt of the bundle root byte for byte; nothing when it is absent.
# When the bundle root holds content-delay, it first waits that many seconds,
# as a host busy with a long document does.
use strict;
use warnings;
use File::Basename qw(basename dirname);

my $root = dirname(dirname($0));
my @fields = (basename($0), scalar(@ARGV), @ARGV);
s/\\/\\\\/g, s/\t/\\t/g, s/\n/\\n/g, s/\r/\\r/g for @fields;
open(my $log, '>>', "$root/calls.log") or die "$root/calls.log: $!\n";
print $log join("\t", @fields), "\n";
close($log) or die "$root/calls.log: $!\n";

if (open(my $delay, '<', "$root/content-delay")) {
  my $seconds = <$delay>;
  select(undef, undef, undef, $seconds);
}

if (open(my $in, '<:raw', "$root/inventory.txt")) {
  binmode(STDOUT);
  local $/;
  print <$in>;
}
