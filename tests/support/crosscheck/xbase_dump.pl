#!/usr/bin/perl
# Prints a table's records as the Perl XBase module reads them, in the same form as
# dbfread_dump.py: record number, deletion flag, then the C, N, F, D, L and M fields.
# A second argument names the code page the table's text is in (e.g. cp850): that text is
# then written as Windows-1252, a character it lacks as "?".
use strict;
use warnings;
use Encode qw(decode encode);
use XBase;

my $page = $ARGV[1];
sub translated {
  my ($s) = @_;
  return $s unless defined $page && defined $s;
  return encode('cp1252', decode($page, $s), sub { '?' });
}

my $table = XBase->new(name => $ARGV[0], ignorememo => 0) or die XBase->errstr;
my @types = $table->field_types;
my @decimals = $table->field_decimals;
binmode STDOUT;

sub escape {
  my ($s) = @_;
  $s =~ s/\\/\\\\/g;
  $s =~ s/\t/\\t/g;
  $s =~ s/\n/\\n/g;
  $s =~ s/\r/\\r/g;
  return $s;
}

for my $i (0 .. $table->last_record) {
  my ($deleted, @values) = $table->get_record($i);
  die $table->errstr unless defined $deleted;
  my @parts = ($i + 1, $deleted ? '*' : ' ');
  for my $f (0 .. $#types) {
    my $type = $types[$f];
    next unless $type =~ /^[CNFDLM]$/;
    my $v = $values[$f];
    my $text;
    if ($type eq 'C' || $type eq 'M') {
      $text = defined $v ? translated($v) : '';
      $text =~ s/ +$//;
    } elsif ($type eq 'N' || $type eq 'F') {
      $text = sprintf('%.*f', $decimals[$f] || 0, defined $v && $v ne '' ? $v : 0);
    } elsif ($type eq 'D') {
      $text = defined $v ? $v : '';
      $text =~ s/ +$//;
      $text = '' if $text =~ /^0*$/;  # zero-filled empty dates
    } else {
      $text = defined $v && $v ? 'T' : 'F';
    }
    push @parts, escape($text);
  }
  print join("\t", @parts), "\n";
}
