#!/usr/bin/perl
# Opens COUNT connections from SOURCE (a loopback address) to 127.0.0.1:PORT
# and feeds each a request one byte every half second, the header or, with
# "body", a complete header and then the body, for at most SECONDS.  Prints
# how many connections were taken and the longest time the server kept one
# open while bytes still came.
use strict;
use warnings;
use IO::Socket::INET;
use IO::Select;
use Time::HiRes qw(time sleep);

my ($port, $count, $source, $seconds, $what) = @ARGV;
die "usage: slow_clients.pl PORT COUNT SOURCE SECONDS [header|body]\n" unless defined $seconds;
my $head = "POST /cgi-bin/mailmanager.pl HTTP/1.0\r\nHost: localhost\r\nContent-Length: 2000\r\n";
my $request = ($what // 'header') eq 'body' ? "$head\r\n" . ('x' x 2000) : $head . ('X-Slow: a' x 200);
$SIG{PIPE} = 'IGNORE';
my $start = time;
my %conn;
for (1 .. $count) {
    my $s = IO::Socket::INET->new(PeerAddr => '127.0.0.1', PeerPort => $port, LocalAddr => $source,
        Proto => 'tcp', Blocking => 0) or next;
    # The body case sends its whole header at once.
    my $sent = ($what // '') eq 'body' ? length("$head\r\n") : 0;
    syswrite($s, substr($request, 0, $sent)) if $sent;
    $conn{fileno $s} = { s => $s, sent => $sent };
}
# A connection the server refused is gone within moments; what is still
# open a second later was taken.
my ($taken, $longest) = (undef, 0);
while (%conn && time - $start < $seconds) {
    for my $fd (keys %conn) {
        my $c = $conn{$fd};
        my $n = syswrite($c->{s}, substr($request, $c->{sent}, 1));
        my $gone = !defined $n && !$!{EAGAIN} && !$!{EINPROGRESS} && !$!{ENOTCONN};
        # A server that ends the connection answers (408, say) or closes it.
        if (!$gone && IO::Select->new($c->{s})->can_read(0)) {
            my $got = sysread($c->{s}, my $buf, 4096);
            $gone = 1 if !defined $got || $got == 0 || $buf =~ /^HTTP/;
        }
        $c->{sent} += $n if $n;
        if ($gone) {
            $longest = time - $start if time - $start > $longest;
            delete $conn{$fd};
        }
    }
    $taken //= scalar(keys %conn) if time - $start > 1;
    sleep 0.5;
}
$taken //= scalar(keys %conn);
$longest = $seconds if %conn;
printf "taken %d of %d, longest %.1f s\n", $taken, $count, $longest;
