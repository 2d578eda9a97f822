#!/usr/bin/perl
# Sends a request file's bytes to 127.0.0.1:PORT as they are and prints
# everything the server sends back until it closes the connection, which is
# how the questionnaire program reads its answers.  With --stop-after N only
# the first N bytes are sent before the write side is shut, as a client that
# dies mid-request would.  Every step is bounded by an alarm.
use strict;
use warnings;
use IO::Socket::INET;
use Socket qw(SHUT_WR);

my ($port, $file, $opt, $n) = @ARGV;
die "usage: raw_http.pl PORT REQUEST-FILE [--stop-after N]\n" unless defined $file;
open(my $in, '<:raw', $file) or die "$file: $!\n";
my $req = do { local $/; <$in> };
$req = substr($req, 0, $n) if defined $opt && $opt eq '--stop-after';

local $SIG{ALRM} = sub { die "raw_http.pl: no close from the server within 15 s\n" };
alarm 15;
my $s = IO::Socket::INET->new(PeerAddr => '127.0.0.1', PeerPort => $port, Proto => 'tcp')
  or die "connect: $!\n";
binmode $s;
binmode STDOUT;
print {$s} $req;
$s->flush;
shutdown($s, SHUT_WR) if defined $opt;
while (1) {
    my $got = sysread($s, my $buf, 65536);
    die "read: $!\n" unless defined $got;
    last if $got == 0;
    print $buf;
}
alarm 0;
