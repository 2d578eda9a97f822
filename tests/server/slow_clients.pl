#!/usr/bin/perl
# Opens N connections to 127.0.0.1:PORT from the address FROM and sends one
# byte of a request head every second, as a slow-header attack does.  Prints
# how many connections the server closed within LIMIT seconds of opening
#; gives up after LIMIT + 5 s.
use strict;
use warnings;
use IO::Socket::INET;
use Time::HiRes qw(time sleep);

my ($port, $from, $n, $limit) = @ARGV;
my $head = "POST /cgi-bin/mailmanager.pl HTTP/1.0\r\nHost: localhost\r\n";
my @socks;
for (1 .. $n) {
    my $s = IO::Socket::INET->new(PeerAddr => '127.0.0.1', PeerPort => $port,
        LocalAddr => $from, Proto => 'tcp', Blocking => 0) or next;
    push @socks, [$s, time, 0];
}
$SIG{PIPE} = 'IGNORE';
my ($early, $closed, $end) = (0, 0, time + $limit + 5);
while (@socks && time < $end) {
    for my $c (@socks) {
        my ($s, $t0, $i) = @$c;
        next unless $s;
        # A read of 0 bytes or a failed write: the server let go.
        my $got = sysread($s, my $buf, 4096);
        my $gone = (defined $got && $got == 0) || !defined syswrite($s, substr($head, $i % length $head, 1));
        if ($gone) {
            $closed++ if time - $t0 <= $limit;
            $early++ if time - $t0 <= 2;
            $c->[0] = undef;
        } else {
            $c->[2]++;
        }
    }
    @socks = grep { $_->[0] } @socks;
    sleep 1;
}
print "$early at once, $closed closed within $limit s, ", scalar(@socks), " still open\n";
