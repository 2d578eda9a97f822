#!/usr/bin/perl
# Stands in for the form-mail script: reads the whole request body and
# answers with what it received.
use strict;
use warnings;
use Digest::MD5;

binmode STDIN;
binmode STDOUT;
my $want = $ENV{CONTENT_LENGTH} || 0;
my $md5 = Digest::MD5->new;
my ($got, $head) = (0, '');
while ($got < $want) {
    my $n = read(STDIN, my $buffer, 65536);
    last unless $n;
    $got += $n;
    $md5->add($buffer);
    $head .= substr($buffer, 0, 256 - length($head)) if length($head) < 256;
}
print "Content-Type: text/plain\r\n\r\n";
print "Vielen Dank!\n";
print "method=$ENV{REQUEST_METHOD}\n";
print "type=", ($ENV{CONTENT_TYPE} || ''), "\n";
print "length=$got\n";
print "md5=", $md5->hexdigest, "\n";
print "head=$head\n";
