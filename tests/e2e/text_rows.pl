#!/usr/bin/perl
# Reads the screen that Xvfb keeps in an XWD file (its -fbdir option) and
# prints, for a rectangle of it, the bands of pixel rows that hold text: one
# line "top bottom" (screen coordinates, inclusive) per band, from the top.
# Text is any grey or black pixel: the thin, anti-aliased strokes of a glyph
# (or of the box a font draws for a character it lacks) are mid-grey, while
# the list's background, its focus frame and selection colours are light or
# blue. Blank gaps of a pixel or two inside a row's text are bridged.
# With "selection" after the rectangle it prints the bands drawn in the
# selection colour (a strong blue) instead: the selected rows of a list; with
# "tint", those with any blue tint, faint ones too (a row drawn as current).
# With "columns" it prints the bands of pixel columns that hold text, from
# the left, "left right" each.
#
#   text_rows.pl SCREEN_FILE LEFT TOP WIDTH HEIGHT [selection|tint|columns]
use strict;
use warnings;
use constant INK => 170;
use constant BRIDGE => 2;

my ($file, $left, $top, $width, $height, $mode) = @ARGV;
die "usage: $0 SCREEN_FILE LEFT TOP WIDTH HEIGHT [selection|tint|columns]\n"
    unless defined $height;
$mode //= 'text';
my %counts = (
  text => sub { $_[0] < INK && $_[1] < INK && $_[2] < INK },
  columns => sub { $_[0] < INK && $_[1] < INK && $_[2] < INK },
  selection => sub { $_[2] > 150 && $_[2] - $_[0] > 100 },
  tint => sub { $_[2] - $_[0] >= 10 },
);
my $counts = $counts{$mode} or die "$0: unknown mode $mode\n";

open(my $in, '<:raw', $file) or die "$file: $!\n";
read($in, my $header, 100) == 100 or die "$file: short header\n";
my ($header_size, $version, $format, $depth, $screen_width, $screen_height, undef,
    $byte_order, undef, undef, undef, $bits_per_pixel, $bytes_per_line, undef,
    $red_mask, $green_mask, $blue_mask, undef, undef, $colors) = unpack('N20', $header);
die "$file: not a 24-bit true-colour XWD image\n"
    unless $version == 7 && $format == 2 && $bits_per_pixel == 32
    && $red_mask == 0xff0000 && $green_mask == 0xff00 && $blue_mask == 0xff;
my $pixels = $header_size + 12 * $colors;
my $word = $byte_order == 0 ? 'V' : 'N';

$left = 0 if $left < 0;
$top = 0 if $top < 0;
my $right = $left + $width - 1;
$right = $screen_width - 1 if $right >= $screen_width;
my $bottom = $top + $height - 1;
$bottom = $screen_height - 1 if $bottom >= $screen_height;
exit 0 if $right < $left || $bottom < $top;

# Which lines (pixel rows, or columns) of the rectangle hold a pixel that
# counts.
my @marked;
for my $y ($top .. $bottom) {
  seek($in, $pixels + $y * $bytes_per_line + 4 * $left, 0) or die "$file: $!\n";
  read($in, my $line, 4 * ($right - $left + 1));
  my $x = $left;
  for my $pixel (unpack("$word*", $line)) {
    if ($counts->(($pixel >> 16) & 0xff, ($pixel >> 8) & 0xff, $pixel & 0xff)) {
      $marked[$mode eq 'columns' ? $x : $y] = 1;
      last unless $mode eq 'columns';
    }
    ++$x;
  }
}

my ($band_first, $band_last);
for my $at ($mode eq 'columns' ? ($left .. $right) : ($top .. $bottom)) {
  next unless $marked[$at];
  if (defined $band_first && $at - $band_last > BRIDGE + 1) {
    print "$band_first $band_last\n";
    undef $band_first;
  }
  $band_first = $at unless defined $band_first;
  $band_last = $at;
}
print "$band_first $band_last\n" if defined $band_first;
