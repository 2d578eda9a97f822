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
# Only answer files are stored: one line (an optional CR LF at its end),
# starting with "recipient=" + FB_RECIPIENT + "&subject=Bogendaten&", no
# control characters, at most FB_MAX_BODY bytes.  Anything else gets 400
# with a short reason and is neither stored nor mailed.
#
# Settings come from the environment so the same file serves every
# installation (lighttpd setenv.add-environment, Apache SetEnv, nginx
# fastcgi_param):
#   FB_SPOOL_DIR   where answers are stored (default /var/spool/humorstudie);
#                  must exist and belong to the web server's user
#   FB_STATE_DIR   the mail queue and the mail limits (default
#                  /var/lib/humorstudie); must exist and belong to that user;
#                  without it no mail is sent, uploads are unaffected
#   FB_RECIPIENT   the recipient every answer file names, as the program was
#                  built with it (default humor-studie@localhost)
#   FB_MAX_BODY    largest body taken, in bytes (default 8192)
# and for the confirmation mail:
#   FB_SENDMAIL    the command and its options, split at blanks, run without
#                  a shell, recipient last after "--"; no mail when unset
#   FB_MAIL_FROM   sender address (else the mail system's)
#   FB_STUDY_NAME  named in the mail (default Humorforschung)
#   FB_MAIL_TIMEOUT  seconds one mail may take before it is given up (20)
#   FB_MAIL_PER_CLIENT_HOUR  confirmations per client address and hour (3)
# At most one confirmation goes to an address in 24 hours.  The mail is
# queued in FB_STATE_DIR once the answer is stored and sent by a detached
# process, so a slow mailer never delays an upload.  Run with the argument
# --send-queued (outside a web server) it sends what the queue holds.

use strict;
use warnings;
use Digest::SHA qw(sha256_hex);
use Errno qw(EEXIST EINTR);
use Fcntl qw(O_WRONLY O_CREAT O_EXCL O_RDONLY :flock);
use IO::Handle;
use MIME::Base64 qw(encode_base64);
use POSIX qw(strftime _exit setsid WNOHANG);
use Socket qw(inet_pton AF_INET6);
use Time::HiRes qw(gettimeofday sleep);

sub setting {
    my ($name, $default, $pattern) = @_;
    my $v = $ENV{$name};
    return $default if !defined $v || $v eq '' || (defined $pattern && $v !~ $pattern);
    return $v;
}

my $SPOOL_DIR = setting('FB_SPOOL_DIR', '/var/spool/humorstudie');
my $STATE_DIR = setting('FB_STATE_DIR', '/var/lib/humorstudie');
my $RECIPIENT = setting('FB_RECIPIENT', 'humor-studie@localhost');
my $MAX_BODY = setting('FB_MAX_BODY', 8192, qr/\A\d{1,9}\z/);
my $MAIL_TIMEOUT = setting('FB_MAIL_TIMEOUT', 20, qr/\A[1-9]\d{0,3}\z/);
my $PER_CLIENT_HOUR = setting('FB_MAIL_PER_CLIENT_HOUR', 3, qr/\A\d{1,6}\z/);
my $ADDRESS_PERIOD = 24 * 3600;

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

# The client address the limits count: an IPv4 address as it is, an IPv6
# address by its /64, which one household or host usually holds whole.
sub client_key {
    my ($addr) = @_;
    $addr //= '';
    my $packed = $addr =~ /:/ ? inet_pton(AF_INET6, $addr) : undef;
    return $addr unless defined $packed;
    return join(':', unpack('H4 H4 H4 H4', $packed)) . '::/64';
}

# Opens a file in the state folder for appending under an exclusive lock,
# held until the handle is closed.
sub locked {
    my ($name) = @_;
    open(my $fh, '+>>', "$STATE_DIR/$name") or die "cannot open $STATE_DIR/$name: $!\n";
    flock($fh, LOCK_EX) or die "cannot lock $STATE_DIR/$name: $!\n";
    return $fh;
}

# Decides whether this address may get a confirmation now, and if so
# counts it.  The file "mail-limits" holds one line per confirmation sent
# in the last 24 hours: time, hashed address (no address is kept in clear),
# client address.  Returns undef if allowed, else the reason.
sub take_mail_allowance {
    my ($to, $client, $now) = @_;
    my $hash = sha256_hex(lc $to);
    my $lock = locked('mail-limits.lock');
    my $path = "$STATE_DIR/mail-limits";
    my (@keep, $why);
    my $from_client = 0;
    my $fh;
    open($fh, '<', $path) or $!{ENOENT} or die "cannot read mail-limits: $!\n";
    while ($fh && defined(my $line = <$fh>)) {
        my ($t, $h, $c) = split ' ', $line;
        next unless defined $c && $t =~ /^\d+$/ && $t > $now - $ADDRESS_PERIOD;
        push @keep, $line;
        $why = 'address already confirmed within 24 hours' if $h eq $hash;
        $from_client++ if $c eq $client && $t > $now - 3600;
    }
    $why //= "$from_client confirmations for this client address within the hour"
      if $from_client >= $PER_CLIENT_HOUR;
    push @keep, "$now $hash $client\n" unless defined $why;
    # Only what is younger than a day, replaced whole by a rename: a script
    # ended half-way (a client that hangs up is killed with its script)
    # leaves the old list, never an empty one.
    open(my $out, '>', "$path.new") or die "cannot write mail-limits: $!\n";
    print {$out} @keep;
    close($out) or die "cannot write mail-limits: $!\n";
    rename("$path.new", $path) or die "cannot replace mail-limits: $!\n";
    close $lock;
    return $why;
}

# Puts a message into the queue folder: recipient on the first line, the
# message after it; named so that the sender sees only complete entries.
sub queue_mail {
    my ($to, $message) = @_;
    my $dir = "$STATE_DIR/mailq";
    mkdir $dir, 0700 unless -d $dir;
    my ($sec, $usec) = gettimeofday();
    my $name = sprintf('%d.%06d-%d', $sec, $usec, $$);
    open(my $fh, '>', "$dir/.new-$name") or die "cannot queue: $!\n";
    print {$fh} "$to\n", $message or die "cannot queue: $!\n";
    close($fh) or die "cannot queue: $!\n";
    rename("$dir/.new-$name", "$dir/$name.mail") or die "cannot queue: $!\n";
}

# Sends every queued message, one at a time, then looks again.  One sender
# at a time holds "mailq.lock"; a sender started while another runs leaves
# its message to that one, which looks at the queue again after it let go
# of the lock, so nothing queued is left behind.
sub send_queued {
    my @cmd = split ' ', ($ENV{FB_SENDMAIL} // '');
    return unless @cmd && -d "$STATE_DIR/mailq";
    while (1) {
        open(my $lock, '>>', "$STATE_DIR/mailq.lock") or die "cannot open mailq.lock: $!\n";
        return unless flock($lock, LOCK_EX | LOCK_NB);
        opendir(my $dh, "$STATE_DIR/mailq") or die "cannot read the mail queue: $!\n";
        my @entries = sort grep { /^[\d.]+-\d+\.mail\z/ } readdir $dh;
        closedir $dh;
        for my $entry (@entries) {
            my $path = "$STATE_DIR/mailq/$entry";
            open(my $fh, '<', $path) or next;
            my $to = <$fh>;
            my $message = do { local $/; <$fh> };
            close $fh;
            chomp $to if defined $to;
            my $why = defined $to && defined $message && mail_address($to)
              ? run_mailer(\@cmd, $to, $message, $MAIL_TIMEOUT) : 'defective queue entry';
            if (defined $why) {
                # Kept for the operator, not tried again: a mailer that timed
                # out may have sent it after all.
                mkdir "$STATE_DIR/mail-failed", 0700;
                rename($path, "$STATE_DIR/mail-failed/$entry");
                print STDERR "mailmanager.pl: confirmation mail $entry failed: $why\n";
            } else {
                unlink $path;
            }
        }
        close $lock;
        opendir($dh, "$STATE_DIR/mailq") or return;
        my $more = grep { /\.mail\z/ } readdir $dh;
        closedir $dh;
        return unless $more;
    }
}

# Starts a sender that outlives this request: detached from the web
# server's pipes, so the answer is complete as soon as this script exits.
sub start_sender {
    my $pid = fork;
    return unless defined $pid;
    if ($pid) {
        waitpid($pid, 0);
        return;
    }
    setsid();
    _exit(0) if fork // 1;
    open(STDIN, '<', '/dev/null');
    open(STDOUT, '>', '/dev/null');
    open(STDERR, '>>', "$STATE_DIR/mail.log") or open(STDERR, '>', '/dev/null');
    eval { send_queued() };
    print STDERR "mailmanager.pl: $@" if $@;
    _exit(0);
}

# Once the answer is stored: queues the confirmation if a mail command is
# set, the "Email" answer is an address ("*" answers anonymously) and the
# limits allow it.  Nothing here reaches the participant; reasons go to the
# error log without the address.
sub confirm {
    my ($body, $file) = @_;
    return unless length($ENV{FB_SENDMAIL} // '');
    my $to = mail_address(email_answer($body));
    return unless defined $to;
    $file =~ s{.*/}{};
    my $why;
    eval {
        $why = take_mail_allowance($to, client_key($ENV{REMOTE_ADDR}), time);
        queue_mail($to, confirmation_message($to, mail_address($ENV{FB_MAIL_FROM}),
            header_text($ENV{FB_STUDY_NAME} // 'Humorforschung'))) unless defined $why;
        1;
    } or $why = $@ || 'unknown error';
    if (defined $why) {
        print STDERR "mailmanager.pl: no confirmation mail for $file: $why\n";
        return;
    }
    start_sender();
}

# The reason of a refused body, or undef for an answer file.
sub body_fault {
    my ($body) = @_;
    my $line = $body;
    $line =~ s/\r\n\z//;
    return 'more than one line' if $line =~ /[\r\n]/;
    return 'control characters' if $line =~ /[\x00-\x1F\x7F]/;
    my $head = "recipient=$RECIPIENT&subject=Bogendaten&";
    return 'not an answer file of this study' if substr($line, 0, length $head) ne $head;
    return undef;
}

if (!defined $ENV{REQUEST_METHOD} && ($ARGV[0] // '') eq '--send-queued') {
    send_queued();
    exit 0;
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
    refuse('400 Bad Request', "body of $len bytes over $MAX_BODY",
        "Zu gro&szlig; f&uuml;r eine Antwortdatei ($len Bytes, h&ouml;chstens $MAX_BODY).");
}

my $body = read_body($len);
if (length($body) != $len) {
    refuse('400 Bad Request', sprintf('body cut short at %d of %d bytes', length($body), $len),
        'Die Antworten kamen nicht vollst&auml;ndig an.');
}
if (defined(my $fault = body_fault($body))) {
    refuse('400 Bad Request', $fault, 'Dies ist keine Antwortdatei dieser Studie ('
        . { 'more than one line' => 'mehr als eine Zeile',
            'control characters' => 'Steuerzeichen',
            'not an answer file of this study' => 'Kopfzeile oder Empf&auml;nger falsch' }->{$fault}
        . ').');
}

my $file = eval { spool($body) };
if (!defined $file) {
    print STDERR "mailmanager.pl: 500: $@";
    page('500 Internal Server Error', 'Daten nicht gespeichert',
        'Ihre Antworten konnten auf dem Server nicht gespeichert werden. '
          . 'Bitte versuchen Sie es sp&auml;ter noch einmal.');
    exit 0;
}

# The confirmation is counted and queued before the answer goes out: a web
# server may end the script (lighttpd sends SIGTERM) as soon as it has the
# whole answer, which would otherwise cut the limits file or lose the mail.
# Sending happens in the detached sender and never delays the answer.
confirm($body, $file);
page('200 OK', 'Vielen Dank!',
    "Ihre Antworten sind angekommen ($len Bytes). Vielen Dank f&uuml;r Ihre Teilnahme.");
