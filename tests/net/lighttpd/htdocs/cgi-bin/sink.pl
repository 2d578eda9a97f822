#!/usr/bin/perl
# Takes a request body as fast as it can and throws it away, so that an
# upload to it is limited by the client rather than by the server's work.
use strict;
use warnings;

binmode STDIN;
my ($got, $buffer) = (0, '');
while (my $n = sysread(STDIN, $buffer, 1 << 20)) {
    $got += $n;
}
print "Content-Type: text/plain\r\n\r\nlength=$got\n";
