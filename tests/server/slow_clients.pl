#!/usr/bin/perl
# Opens N connections to 127.0.0.1:PORT from the address FROM and sends one
# byte of a request head every second, as a slow-header attack does.  Prints
# how many the server closed at once (within 2 s) and within LIMIT seconds
# of opening; gives up after LIMIT + 5 s.
use strict;
use warnings;
use IO::Socket::INET;
use Time::HiRes qw(time sleep);

my ($port, $from, $n, $limit) = @ARGV;
my $head = "POST /cgi-bin/mailmanager.pl HTTP/1.0\r\nHost: localhost\r\n";
my @socks = map { [IO::Socket::INET->new(PeerAddr => "127.0.0.1:$port", LocalAddr => $from, Blocking => 0), time] } 1 .. $n;
my $refused = grep { !$_->[0] } @socks;
my ($early, $closed, $end, $i) = ($refused, $refused, time + $limit + 5, 0);
$SIG{PIPE} = 'IGNORE';
while (grep { $_->[0] } @socks and time < $end) {
    for my $c (grep { $_->[0] } @socks) {
        # A read of 0 bytes, a reset or a failed write: the server let go.
        my $got = sysread($c->[0], my $buf, 4096);
        next if (!defined $got || $got > 0) && defined syswrite($c->[0], substr($head, $i % length $head, 1));
        $closed++ if time - $c->[1] <= $limit;
        $early++ if time - $c->[1] <= 2;
        $c->[0] = undef;
    }
    $i++;
    sleep 1;
}
print "$early at once, $closed closed within $limit s, ", scalar(grep { $_->[0] } @socks), " still open\n";
