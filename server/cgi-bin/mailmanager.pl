#!/usr/bin/perl
# Form-mail receiver of the humour study.
#
# The questionnaire program posts an answer file as it is on disk:
# "recipient=...&subject=Bogendaten&Name=...&..." and CR LF, Windows-1252,
# not URL-encoded.  Each submission is kept whole, byte for byte, as its own
# file in the spool directory.  The program takes "Vielen Dank!" in the
# answer as proof that its data arrived and then marks the file as sent, so
# that text is printed only after the file is safely on disk; every refusal
# and failure answers with a page that lacks it.
#
# Settings come from the environment so the same file serves every
# installation: FB_SPOOL_DIR (must exist and be writable by the web server
# user) and FB_MAX_BODY (bytes).

use strict;
use warnings;
use Errno qw(EEXIST EINTR);
use Fcntl qw(O_WRONLY O_CREAT O_EXCL O_RDONLY);
use IO::Handle;
use Time::HiRes qw(gettimeofday);

my $SPOOL_DIR = $ENV{FB_SPOOL_DIR} || '/var/spool/humorstudie';
my $MAX_BODY = ($ENV{FB_MAX_BODY} // '') =~ /^\d+$/ ? $ENV{FB_MAX_BODY} : 65536;

binmode STDIN;
binmode STDOUT;

sub page {
    my ($status, $title, $text) = @_;
    print "Status: $status\r\n",
      "Content-Type: text/html; charset=windows-1252\r\n",
      "Cache-Control: no-store\r\n",
      "\r\n",
      "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n",
      "<meta charset=\"windows-1252\">\n<title>$title</title>\n</head>\n",
      "<body>\n<h1>$title</h1>\n<p>$text</p>\n</body>\n</html>\n";
}

sub refuse {
    my ($status, $why, $text) = @_;
    # The reason goes to the server's error log; the participant gets the
    # German page (and the program its failure box).
    print STDERR "mailmanager.pl: $status: $why\n";
    page($status, 'Daten nicht angenommen', $text);
    exit 0;
}

# Reads exactly $len bytes of the request body, or fewer if the peer
# stopped early.
sub read_body {
    my ($len) = @_;
    my $body = '';
    while (length($body) < $len) {
        my $got = sysread(STDIN, $body, $len - length($body), length($body));
        if (!defined $got) {
            next if $! == EINTR;
            last;
        }
        last if $got == 0;
    }
    return $body;
}

sub write_all {
    my ($fh, $data) = @_;
    my $off = 0;
    while ($off < length($data)) {
        my $n = syswrite($fh, $data, length($data) - $off, $off);
        if (!defined $n) {
            next if $! == EINTR;
            return 0;
        }
        $off += $n;
    }
    return 1;
}

# Stores the body as a new file and returns its name.  The bytes go to a
# temporary file first and reach disk before the file gets its final name;
# link() claims that name atomically and fails rather than replace a file
# that is already there, so concurrent posts can neither overwrite nor lose
# each other.  The directory is synced last so the new name survives too.
sub spool {
    my ($body) = @_;
    my ($sec, $usec) = gettimeofday();
    # UTC time first, so the names sort in order of arrival.
    my @t = gmtime $sec;
    my $stamp = sprintf('%04d%02d%02d-%02d%02d%02d.%06d-%d',
        $t[5] + 1900, $t[4] + 1, @t[3, 2, 1, 0], $usec, $$);
    my $tmp = "$SPOOL_DIR/.tmp-$stamp";
    my $fh;
    sysopen($fh, $tmp, O_WRONLY | O_CREAT | O_EXCL, 0640)
      or die "cannot create $tmp: $!\n";
    my $err;
    if (!write_all($fh, $body)) {
        $err = "write: $!";
    } elsif (!$fh->sync) {
        $err = "fsync: $!";
    }
    $err //= "close: $!" if !close($fh);
    if (defined $err) {
        unlink $tmp;
        die "$tmp: $err\n";
    }
    my $final;
    for (my $n = 0;; $n++) {
        $final = "$SPOOL_DIR/$stamp" . ($n ? "-$n" : '') . '.bgn';
        last if link($tmp, $final);
        if ($! != EEXIST || $n >= 100) {
            my $e = "$!";
            unlink $tmp;
            die "cannot name $final: $e\n";
        }
    }
    unlink $tmp;
    my $dh;
    sysopen($dh, $SPOOL_DIR, O_RDONLY) or die "cannot open $SPOOL_DIR: $!\n";
    $dh->sync or die "cannot sync $SPOOL_DIR: $!\n";
    close $dh;
    return $final;
}

my $method = $ENV{REQUEST_METHOD} // '';
if ($method ne 'POST') {
    refuse('405 Method Not Allowed', "method '$method'",
        'Antworten werden nur mit dem Fragebogenprogramm angenommen.');
}

my $len = $ENV{CONTENT_LENGTH} // '';
if ($len !~ /^\d+$/) {
    refuse('411 Length Required', 'no content length',
        'Die Anfrage enthielt keine Antworten.');
}
if ($len == 0) {
    refuse('400 Bad Request', 'empty body', 'Die Anfrage enthielt keine Antworten.');
}
if ($len > $MAX_BODY) {
    refuse('413 Payload Too Large', "body of $len bytes over $MAX_BODY",
        'Die Datei ist zu gro&szlig; f&uuml;r eine Antwortdatei.');
}

my $body = read_body($len);
if (length($body) != $len) {
    refuse('400 Bad Request', sprintf('body cut short at %d of %d bytes', length($body), $len),
        'Die Antworten kamen nicht vollst&auml;ndig an.');
}
# Fields are separated by "&"; the program always sends the recipient first,
# but any position is a valid form.
if ($body !~ /(?:\A|&)recipient=/) {
    refuse('400 Bad Request', 'no recipient field',
        'Dies ist keine Antwortdatei des Fragebogens.');
}

my $file = eval { spool($body) };
if (!defined $file) {
    print STDERR "mailmanager.pl: 500: $@";
    page('500 Internal Server Error', 'Daten nicht gespeichert',
        'Ihre Antworten konnten auf dem Server nicht gespeichert werden. '
          . 'Bitte versuchen Sie es sp&auml;ter noch einmal.');
    exit 0;
}

page('200 OK', 'Vielen Dank!',
    "Ihre Antworten sind angekommen ($len Bytes). Vielen Dank f&uuml;r Ihre Teilnahme.");
