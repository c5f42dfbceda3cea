#!/usr/bin/perl
# Stand-in host script. Appends one line per call to calls.log in the bundle
# root (the folder above Resources): the script's name, the number of
# arguments, then each argument, TAB between fields, with backslash, TAB, LF
# and CR written as \\ \t \n \r. Prints nothing.
use strict;
use warnings;
use File::Basename qw(basename dirname);

my $root = dirname(dirname($0));
my @fields = (basename($0), scalar(@ARGV), @ARGV);
s/\\/\\\\/g, s/\t/\\t/g, s/\n/\\n/g, s/\r/\\r/g for @fields;
open(my $log, '>>', "$root/calls.log") or die "$root/calls.log: $!\n";
print $log join("\t", @fields), "\n";
close($log) or die "$root/calls.log: $!\n";
