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
# After storing, it can send the participant a short confirmation (no
# answers in it) to the "Email" answer, through a sendmail-compatible
# command.  A failed or slow mail never costs the submission or its
# "Vielen Dank!".
#
# Settings come from the environment so the same file serves every
# installation: FB_SPOOL_DIR (must exist and be writable by the web server
# user), FB_MAX_BODY (bytes), and for the confirmation FB_SENDMAIL (the
# command and its options, split at blanks, run without a shell; no mail
# when unset), FB_MAIL_FROM (sender address; else the mail system's),
# FB_STUDY_NAME (named in the mail) and FB_MAIL_TIMEOUT (seconds, 20).

use strict;
use warnings;
use Errno qw(EEXIST EINTR);
use Fcntl qw(O_WRONLY O_CREAT O_EXCL O_RDONLY);
use IO::Handle;
use MIME::Base64 qw(encode_base64);
use POSIX qw(strftime _exit WNOHANG);
use Time::HiRes qw(gettimeofday sleep);

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

# The "Email" answer as the body holds it: up to the next "&" or the end of
# the body, less the file's own line end.  Anything a participant could not
# have typed into the one-line field (a line break above all) makes it no
# address.
sub email_answer {
    my ($body) = @_;
    return undef unless $body =~ /&Email=([^&]*)/;
    my $value = $1;
    $value =~ s/\r?\n\z// if $+[1] == length($body);
    return $value;
}

# One "@", no blanks or line breaks, at most 254 characters.  Only printable
# ASCII and none of the characters that separate addresses or open comments
# in a header or on a command line, so the address can neither add a header
# nor a recipient, nor pass for an option.
sub mail_address {
    my ($value) = @_;
    return undef unless defined $value;
    return undef if length($value) == 0 || length($value) > 254;
    return undef if $value =~ /[^\x21-\x7E]/;
    return undef if $value =~ /[,;<>()\[\]"\\:]/;
    return undef if $value =~ /^-/;
    return undef unless $value =~ /\A[^@]+@[^@]+\z/;
    return $value;
}

# Removes everything that could end a header line or hide in one.
sub header_text {
    my ($text) = @_;
    $text =~ s/[\x00-\x1F\x7F]+/ /g;
    return $text;
}

# An RFC 2047 word for a UTF-8 text, so umlauts survive in the subject.
sub encoded_word {
    my ($text) = @_;
    return $text unless $text =~ /[^\x20-\x7E]/;
    return '=?UTF-8?B?' . encode_base64($text, '') . '?=';
}

# The Date header in English names whatever the server's locale.
sub mail_date {
    my @t = @_;
    my @days = qw(Sun Mon Tue Wed Thu Fri Sat);
    my @months = qw(Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec);
    return sprintf('%s, %02d %s %04d %s', $days[$t[6]], $t[3], $months[$t[4]],
        $t[5] + 1900, strftime('%H:%M:%S %z', @t));
}

sub confirmation_message {
    my ($to, $from, $study) = @_;
    my @now = localtime;
    my $date = strftime('%d.%m.%Y', @now);
    my $time = strftime('%H:%M', @now);
    my $headers = "To: $to\n";
    $headers .= "From: $from\n" if defined $from;
    $headers .= 'Subject: ' . encoded_word("Empfangsbest\xC3\xA4tigung: $study") . "\n"
      . 'Date: ' . mail_date(@now) . "\n"
      . "MIME-Version: 1.0\n"
      . "Content-Type: text/plain; charset=UTF-8\n"
      . "Content-Transfer-Encoding: 8bit\n"
      . "Auto-Submitted: auto-generated\n";
    return $headers . "\n"
      . "Guten Tag,\n\n"
      . "Ihre Antworten f\xC3\xBCr die Studie \xE2\x80\x9E$study\xE2\x80\x9C sind am $date um $time Uhr\n"
      . "auf dem Server der Studie angekommen. Vielen Dank f\xC3\xBCr Ihre Teilnahme!\n\n"
      . "Diese Nachricht wurde automatisch erzeugt. Sie enth\xC3\xA4lt keine Ihrer Antworten.\n"
      . "Falls Sie an der Studie nicht teilgenommen haben, hat jemand Ihre\n"
      . "Adresse angegeben; Sie k\xC3\xB6nnen diese Nachricht dann einfach l\xC3\xB6schen.\n";
}

# Runs the mail command with the message on its standard input and the one
# recipient as its last argument.  Its output must not reach the web server
# (it would become part of the answer), and a command that hangs is ended
# after the time-out.  Returns undef on success, else the reason.
sub run_mailer {
    my ($cmd, $to, $message, $timeout) = @_;
    pipe(my $from_us, my $to_mailer) or return "pipe: $!";
    my $pid = fork;
    return "fork: $!" unless defined $pid;
    if ($pid == 0) {
        close $to_mailer;
        open(STDIN, '<&', $from_us) or _exit(126);
        open(STDOUT, '>', '/dev/null') or _exit(126);
        { no warnings 'exec'; exec { $cmd->[0] } @$cmd, '--', $to; }
        print STDERR "mailmanager.pl: cannot run $cmd->[0]: $!\n";
        _exit(127);
    }
    close $from_us;
    my $wrote;
    {
        local $SIG{PIPE} = 'IGNORE';
        $wrote = write_all($to_mailer, $message);
        $wrote = 0 unless close $to_mailer;
    }
    my $deadline = time + $timeout;
    my $done = 0;
    while (!($done = waitpid($pid, WNOHANG))) {
        if (time >= $deadline) {
            kill 'TERM', $pid;
            sleep 0.5;
            kill 'KILL', $pid if !waitpid($pid, WNOHANG);
            waitpid($pid, 0);
            return "no answer within $timeout s";
        }
        sleep 0.05;
    }
    return "exit status " . ($? >> 8) . ($? & 127 ? ", signal " . ($? & 127) : '') if $?;
    return "could not hand over the message" unless $wrote;
    return undef;
}

# Sends the confirmation for a stored submission if a mail command is set
# and the "Email" answer is an address ("*" answers anonymously).  Failures
# only reach the error log, without the address.
sub confirm {
    my ($body, $file) = @_;
    my @cmd = split ' ', ($ENV{FB_SENDMAIL} // '');
    return unless @cmd;
    my $to = mail_address(email_answer($body));
    return unless defined $to;
    my $from = mail_address($ENV{FB_MAIL_FROM});
    my $study = header_text($ENV{FB_STUDY_NAME} // 'Humorforschung');
    my $timeout = ($ENV{FB_MAIL_TIMEOUT} // '') =~ /^[1-9]\d{0,3}$/ ? $ENV{FB_MAIL_TIMEOUT} : 20;
    my $why = eval { run_mailer(\@cmd, $to, confirmation_message($to, $from, $study), $timeout) };
    $why = $@ || 'unknown error' if !defined $why && $@;
    if (defined $why) {
        $file =~ s{.*/}{};
        print STDERR "mailmanager.pl: confirmation mail for $file failed: $why\n";
    }
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

confirm($body, $file);

page('200 OK', 'Vielen Dank!',
    "Ihre Antworten sind angekommen ($len Bytes). Vielen Dank f&uuml;r Ihre Teilnahme.");
