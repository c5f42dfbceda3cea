#!/usr/bin/perl
# Reads the screen that Xvfb keeps in an XWD file (its -fbdir option) and
# prints, for a rectangle of it, the bands of pixel rows that hold text: one
# line "top bottom" (screen coordinates, inclusive) per band, from the top.
# Text is any grey or black pixel: the thin, anti-aliased strokes of a glyph
# (or of the box a font draws for a character it lacks) are mid-grey, while
# the list's background, its focus frame and selection colours are light or
# blue. Blank gaps of a pixel or two inside a row's text are bridged.
# With "selection" after the rectangle it prints the bands drawn in the
# selection colour (a strong blue) instead: the selected rows of a list.
#
#   text_rows.pl SCREEN_FILE LEFT TOP WIDTH HEIGHT [selection]
use strict;
use warnings;

my ($file, $left, $top, $width, $height, $mode) = @ARGV;
die "usage: $0 SCREEN_FILE LEFT TOP WIDTH HEIGHT [selection]\n" unless defined $height;
my $selection = defined $mode && $mode eq 'selection';
use constant INK => 170;
use constant BRIDGE => 2;

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

my ($band_top, $band_bottom);
for my $y ($top .. $bottom) {
  seek($in, $pixels + $y * $bytes_per_line + 4 * $left, 0) or die "$file: $!\n";
  read($in, my $line, 4 * ($right - $left + 1));
  my $ink = 0;
  for my $pixel (unpack("$word*", $line)) {
    my ($red, $green, $blue) = (($pixel >> 16) & 0xff, ($pixel >> 8) & 0xff, $pixel & 0xff);
    if ($selection ? $blue > 150 && $blue - $red > 100 : $red < INK && $green < INK && $blue < INK) {
      $ink = 1;
      last;
    }
  }
  next unless $ink;
  if (defined $band_top && $y - $band_bottom > BRIDGE + 1) {
    print "$band_top $band_bottom\n";
    undef $band_top;
  }
  $band_top = $y unless defined $band_top;
  $band_bottom = $y;
}
print "$band_top $band_bottom\n" if defined $band_top;
