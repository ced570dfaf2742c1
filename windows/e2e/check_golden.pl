#!/usr/bin/perl
# check_golden.pl GOLDEN ACTUAL: compares a report text with its golden text.
#
# Addresses change from run to run, so the golden names them instead of
# spelling them: {A}, {B}, ... stand for a whole number, the same name for
# the same number everywhere in the text; {BYTES} stands for a byte row
# ("16 29 33 1 "). They are not masked away: every table row of a 2- or
# 4-byte field (type Integer, Long, or the Pointer row) must show as its
# value exactly the little-endian number of the bytes dumped beside it (the
# type row: its low 16 bits; 8-byte rows, LongLong and the 64-bit Pointer
# row, likewise), so an address in a row always equals the
# memory the report dumped for it.
# Line ends (CR LF or LF) are compared without the CR; spaces count.
use strict;
use warnings;

my ($golden_file, $actual_file) = @ARGV;
die "usage: check_golden.pl GOLDEN ACTUAL\n" unless defined $actual_file;

sub lines_of {
  my ($file) = @_;
  open(my $fh, '<:raw', $file) or die "check_golden: cannot read $file: $!\n";
  local $/;
  my $text = <$fh>;
  close $fh;
  $text =~ s/\r\n/\n/g;
  return split(/\n/, $text, -1);
}

my @golden = lines_of($golden_file);
my @actual = lines_of($actual_file);
my %bound;
my $failures = 0;

sub fail {
  my ($line, $why) = @_;
  print STDERR "check_golden: $actual_file:$line: $why\n";
  $failures++;
}

for my $i (0 .. ($#golden > $#actual ? $#golden : $#actual)) {
  my $n = $i + 1;
  my $g = $golden[$i];
  my $a = $actual[$i];
  if (!defined $g) { fail($n, "extra line: [$a]"); last; }
  if (!defined $a) { fail($n, "missing line: [$g]"); last; }
  my @names;
  my $pattern = '';
  for my $piece (split(/(\{[A-Z]+\})/, $g)) {
    if ($piece eq '{BYTES}') {
      $pattern .= '((?:\d+ )+)';
      push @names, '';
    } elsif ($piece =~ /^\{([A-Z]+)\}$/) {
      $pattern .= '(-?\d+)';
      push @names, $1;
    } else {
      $pattern .= quotemeta($piece);
    }
  }
  my @values = ($a =~ /^$pattern$/);
  if (!@values && @names) { fail($n, "differs:\n  golden [$g]\n  actual [$a]"); next; }
  if (!@names && $a ne $g) { fail($n, "differs:\n  golden [$g]\n  actual [$a]"); next; }
  for my $k (0 .. $#names) {
    my $name = $names[$k];
    next if $name eq '';
    if (exists $bound{$name} && $bound{$name} ne $values[$k]) {
      fail($n, "{$name} is $values[$k] here but $bound{$name} before");
    }
    $bound{$name} = $values[$k];
  }
  # A field row: value at column 72, bytes from column 88.
  if (length($a) >= 88) {
    my $variable = substr($a, 15, 16);
    my $type = substr($a, 47, 16);
    my $lenb = substr($a, 63, 8);
    my $value = substr($a, 71, 16);
    my $bytes = substr($a, 87);
    s/\s+$// for ($variable, $type, $lenb, $value);
    if (($type eq 'Integer' || $type eq 'Long' || $type eq 'LongLong' || $variable eq 'Pointer')
        && $value =~ /^-?\d+$/ && $bytes =~ /^(\d+ )+$/) {
      my @b = split(' ', $bytes);
      my %signed = (2 => 's<', 4 => 'l<', 8 => 'q<');
      if (@b != $lenb || !exists $signed{$lenb}) {
        fail($n, "$lenb bytes claimed, " . scalar(@b) . " dumped");
      } else {
        # The type row shows the type word and the reserved word above it
        # read as one Long: its low 16 bits are the dumped type word.
        my $vbtype = $variable eq 'vbType';
        my $number = unpack($vbtype ? 'S<' : $signed{$lenb}, pack('C*', @b));
        my $shown = $vbtype ? ($value & 0xFFFF) : $value;
        fail($n, "value $value but the bytes beside it read $number") if $number != $shown;
      }
    }
  }
}
if ($failures) {
  print STDERR "check_golden: $failures difference(s) against $golden_file\n";
  exit 1;
}
print "check_golden: $actual_file matches $golden_file\n";
