#!/usr/bin/env bash
# The form-mail script's confirmation mail, with a stand-in for sendmail
# that records its arguments and the message: who gets a mail, what the
# mail may hold, the limits per address and per client address, and that a
# failing, hanging or chatty mailer never costs or delays a submission or
# its "Vielen Dank!".  The script runs as a web server runs it (environment
# and body on standard input), and behind the study server across a
# restart.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
repo=$(cd "$here/../.." && pwd -P)
cgi="$repo/server/cgi-bin/mailmanager.pl"
ctl="$repo/scripts/study-server"

work=$(mktemp -d "${TMPDIR:-/tmp}/confirmation-mail-test.XXXXXX")
# Started by root, the server runs as an unprivileged user, which must
# reach the state folder and run the stand-in mailer.
chmod 755 "$work"
passed=0
failed=0
cleanup() {
  "$ctl" stop --state "$work/state" >/dev/null 2>&1
  [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

check() { # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what" >&2; fi
}
has() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }

# Stand-ins: each call leaves its arguments (one a line) and its input in
# the mail folder, then behaves as its name says.
mkdir "$work/mail"
chmod 777 "$work/mail"
cat >"$work/sendmail" <<EOT
#!/bin/sh
n=\$(ls "$work/mail" | wc -l)
printf '%s\n' "\$@" >"$work/mail/\$n.args"
cat >"$work/mail/\$n.msg"
EOT
cat >"$work/sendmail-fails" <<EOT
#!/bin/sh
cat >/dev/null
echo "stand-in: refused" >&2
exit 75
EOT
cat >"$work/sendmail-hangs" <<EOT
#!/bin/sh
cat >/dev/null
exec sleep 30
EOT
cat >"$work/sendmail-chatty" <<EOT
#!/bin/sh
cat >/dev/null
echo "Status: 500 Oops"
echo
echo "mailer output"
EOT
chmod +x "$work"/sendmail*

answer() { # file, email answer
  {
    printf 'recipient=humor-studie@localhost&subject=Bogendaten'
    printf '&Name=J\xfcrgen Geheim&Email=%s&Geburt=01.02.1970' "$2"
    printf '&W01.w=3&W01.a=1&Kommentar=ganz privat & so\r\n'
  } >"$1"
}

client=0
run() { # output file, body file, extra environment...
  local out=$1 body=$2
  shift 2
  mkdir -p "$work/spool" "$work/cgi"
  # A new client address each time, unless the caller names one.
  client=$((client + 1))
  env -i PATH=/usr/bin:/bin FB_SPOOL_DIR="$work/spool" FB_STATE_DIR="$work/cgi" REQUEST_METHOD=POST \
    REMOTE_ADDR="10.0.0.$client" \
    CONTENT_LENGTH="$(stat -c %s "$body")" FB_STUDY_NAME="Humorforschung K$(printf '\xc3\xb6')ln" "$@" \
    perl "$cgi" <"$body" >"$out" 2>"$out.err"
}
mails() { find "$work/mail" -name '*.msg' | wc -l; }
# The mail is sent after the answer, by a process of its own: wait (bounded)
# until the queue is empty and no sender holds it.
settle() {
  local i
  for i in $(seq 1 100); do
    [ -z "$(find "$work/cgi/mailq" -name '*.mail' 2>/dev/null)" ] &&
      flock -n "$work/cgi/mailq.lock" true 2>/dev/null && return 0
    sleep 0.1
  done
}
spooled() { find "$work/spool" -name '*.bgn' | wc -l; }

# --- a normal address ----------------------------------------------------------
answer "$work/a.bgn" 'jg@example.invalid'
run "$work/a.out" "$work/a.bgn" FB_SENDMAIL="$work/sendmail -i" FB_MAIL_FROM=studie@example.invalid
settle
check "normal: Vielen Dank!" has "$work/a.out" 'Vielen Dank!'
check "normal: stored" test "$(spooled)" -eq 1
check "normal: one mail" test "$(mails)" -eq 1
check "normal: the options, then the recipient alone after --" \
  test "$(cat "$work/mail/0.args")" = "$(printf -- '-i\n--\njg@example.invalid')"
check "normal: To header" has "$work/mail/0.msg" 'To: jg@example.invalid'
check "normal: From header" has "$work/mail/0.msg" 'From: studie@example.invalid'
check "normal: the study's name, in UTF-8" grep -qF "Humorforschung K$(printf '\xc3\xb6')ln" "$work/mail/0.msg"
check "normal: the subject is an encoded word" grep -q '^Subject: =?UTF-8?B?' "$work/mail/0.msg"
check "normal: today's date" has "$work/mail/0.msg" "$(date +%d.%m.%Y)"
check "normal: no answer in the mail" bash -c "! grep -qE 'Geheim|1970|privat|Bogendaten|W01' '$work/mail/0.msg'"
check "normal: one header block of known headers" bash -c \
  "sed '/^\$/q' '$work/mail/0.msg' | grep -v '^\$' | grep -vqE '^(To|From|Subject|Date|MIME-Version|Content-Type|Content-Transfer-Encoding|Auto-Submitted): ' && exit 1 || exit 0"

# --- answers that get no mail ----------------------------------------------------
nomail() { # description, email answer (printf format)
  local before
  before=$(mails)
  spooled_before=$(spooled)
  answer "$work/n.bgn" "$2"
  run "$work/n.out" "$work/n.bgn" FB_SENDMAIL="$work/sendmail"
  check "$1: Vielen Dank!" has "$work/n.out" 'Vielen Dank!'
  check "$1: stored" test "$(spooled)" -eq $((spooled_before + 1))
  check "$1: no mail" test "$(mails)" -eq "$before"
}
nomail "anonymous *" '*'
nomail "CR LF and Bcc" 'jg@example.invalid\r\nBcc: victim@example.invalid'
nomail "bare LF and To" 'jg@example.invalid\nTo: victim@example.invalid'
nomail "300 characters" "$(printf 'a%.0s' $(seq 1 288))@example.invalid"
nomail "two @" 'a@b@example.invalid'
nomail "blank inside" 'j g@example.invalid'
nomail "a second recipient" 'jg@example.invalid,victim@example.invalid'
nomail "an option" '-oQ/tmp@example.invalid'
nomail "empty" ''
check "no hostile text reached any mailer" bash -c "! grep -rqiE 'victim|Bcc' '$work/mail'"

# The longest address that is still taken.
long="$(printf 'a%.0s' $(seq 1 238))@example.invalid"
answer "$work/l.bgn" "$long"
before=$(mails)
run "$work/l.out" "$work/l.bgn" FB_SENDMAIL="$work/sendmail"
settle
check "254 characters: mailed" test "$(mails)" -eq $((before + 1))

# No command set: no mail, as in the one-command demo.
before=$(mails)
run "$work/off.out" "$work/a.bgn"
check "no mail command: Vielen Dank!" has "$work/off.out" 'Vielen Dank!'
check "no mail command: no mail" test "$(mails)" -eq "$before"

# --- the limits -------------------------------------------------------------------
answer "$work/b.bgn" 'twice@example.invalid'
before=$(mails)
run "$work/b1.out" "$work/b.bgn" FB_SENDMAIL="$work/sendmail"
run "$work/b2.out" "$work/b.bgn" FB_SENDMAIL="$work/sendmail" FB_MAIL_PER_CLIENT_HOUR=9
settle
check "one address: both stored and thanked" bash -c "grep -q 'Vielen Dank!' '$work/b1.out' && grep -q 'Vielen Dank!' '$work/b2.out'"
check "one address: one mail a day" test "$(mails)" -eq $((before + 1))
before=$(mails)
for i in 1 2 3 4 5; do
  answer "$work/c$i.bgn" "client$i@example.invalid"
  run "$work/c$i.out" "$work/c$i.bgn" FB_SENDMAIL="$work/sendmail" REMOTE_ADDR=192.0.2.7
done
settle
check "one client address: 3 mails an hour" test "$(mails)" -eq $((before + 3))
check "the limits keep no address in clear" bash -c "! grep -q 'example.invalid' '$work/cgi/mail-limits'"

# --- mailers that go wrong ---------------------------------------------------------
m=0
fresh() { m=$((m + 1)); answer "$work/fresh.bgn" "fresh$m@example.invalid"; }
before=$(spooled)
fresh
run "$work/f.out" "$work/fresh.bgn" FB_SENDMAIL="$work/sendmail-fails"
settle
check "failing mailer: Vielen Dank!" has "$work/f.out" 'Vielen Dank!'
check "failing mailer: stored" test "$(spooled)" -eq $((before + 1))
check "failing mailer: logged without the address, message kept" bash -c \
  "grep -q 'mail .* failed: exit status 75' '$work/cgi/mail.log' && ! grep -q '@' '$work/cgi/mail.log' && test -n \"\$(ls '$work/cgi/mail-failed')\""

fresh
run "$work/m.out" "$work/fresh.bgn" FB_SENDMAIL="$work/no-such-mailer"
check "missing mailer: Vielen Dank!" has "$work/m.out" 'Vielen Dank!'
settle

fresh
start=$(date +%s%N)
run "$work/h.out" "$work/fresh.bgn" FB_SENDMAIL="$work/sendmail-hangs" FB_MAIL_TIMEOUT=2
check "hanging mailer: answered at once" test $((($(date +%s%N) - start) / 1000000)) -lt 1500
check "hanging mailer: Vielen Dank!" has "$work/h.out" 'Vielen Dank!'
settle
check "hanging mailer: given up and logged" has "$work/cgi/mail.log" 'no answer within 2 s'

fresh
run "$work/c.out" "$work/fresh.bgn" FB_SENDMAIL="$work/sendmail-chatty"
check "chatty mailer: the answer starts with our own status" bash -c "head -n 1 '$work/c.out' | grep -q '^Status: 200 OK'"
check "chatty mailer: its output is not in the answer" lacks "$work/c.out" 'mailer output'
settle

# --- behind the study server, across a restart ----------------------------------------
before=$(mails)
answer "$work/s.bgn" 'server@example.invalid'
post() { curl -s --max-time 10 -o "$1" --data-binary @"$work/s.bgn" "http://127.0.0.1:$port/cgi-bin/mailmanager.pl"; }
port=$("$ctl" start --port 0 --https-port off --state "$work/state" --sendmail "$work/sendmail -i" \
  --mail-from studie@example.invalid 2>"$work/start.err")
if [[ "$port" =~ ^[0-9]+$ ]]; then
  post "$work/http.html"
  check "server: Vielen Dank!" has "$work/http.html" 'Vielen Dank!'
  for i in $(seq 1 50); do [ "$(mails)" -gt "$before" ] && break; sleep 0.1; done
  check "server: one mail" test "$(mails)" -eq $((before + 1))
  port=$("$ctl" restart --state "$work/state" 2>/dev/null)
  post "$work/http2.html"
  check "server after restart: Vielen Dank!" has "$work/http2.html" 'Vielen Dank!'
  sleep 1
  check "server after restart: still no second mail to the address" test "$(mails)" -eq $((before + 1))
  "$ctl" stop --state "$work/state" 2>/dev/null
else
  cat "$work/start.err" >&2
  failed=$((failed + 1))
  echo "FAIL: the server did not start" >&2
fi
check "study-server refuses a quote in the mail command" bash -c \
  "! '$ctl' start --port 0 --state '$work/bad' --sendmail 'x\"y' 2>/dev/null"

echo "confirmation mail: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
