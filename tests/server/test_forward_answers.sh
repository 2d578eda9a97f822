#!/usr/bin/env bash
# server/forward-answers: every file comes back byte for byte from the
# message it makes (decoded by Python's mail parser, no MTA involved),
# the message keeps to mail's line limits, and with a stand-in sendmail
# each file is mailed once, to the fixed address only.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
fwd="$here/../../server/forward-answers"
work=$(mktemp -d "${TMPDIR:-/tmp}/forward-answers-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() { local what=$1; shift; if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what" >&2; fi; }
# Writes the attachment of the message on stdin to $1; fails unless the
# message is 7-bit with lines of at most 78 characters.
decode() {
  rm -f "$1"
  python3 -c '
import email, sys
raw = sys.stdin.buffer.read()
assert all(len(l) <= 78 and max(l, default=0) < 128 for l in raw.split(b"\n")), "line too long or 8-bit"
parts = [p for p in email.message_from_bytes(raw).walk() if p.get_content_type() == "application/octet-stream"]
assert len(parts) == 1, "not one attachment"
open(sys.argv[1], "wb").write(parts[0].get_payload(decode=True))' "$1"
}

# An answer file as the program writes it (Windows-1252, one 2 KB line,
# CR LF), and every byte value once.
mkdir "$work/spool"
{ printf 'recipient=humor-studie@localhost&subject=Bogendaten&Name=J\xfcrgen M\xe4\xdfig&Email=jm@example.invalid'
  for i in $(seq 1 60); do printf '&W%d.w=%d&W%d.a=%d&W%d.k=Witz \x84gut\x93 \x80 %d%%' "$i" $((i % 7 + 1)) "$i" $((i % 5 + 1)) "$i" "$i"; done
  printf '\r\n'; } >"$work/spool/20261209-120000.000001-1.bgn"
perl -e 'print map { chr } 0 .. 255' >"$work/spool/20261209-120001.000002-2.bgn"
for f in "$work"/spool/*.bgn; do
  "$fwd" --print --to studie@example.invalid "$f" | decode "$work/back"
  check "$(basename "$f") ($(stat -c %s "$f") bytes) comes back byte for byte" cmp -s "$f" "$work/back"
done

# Mailed through a stand-in that records its arguments and the message.
mkdir "$work/mail" "$work/marks"
printf '#!/bin/sh\nn=$(ls "%s" | grep -c msg)\nprintf "%%s\\n" "$@" >"%s/$n.args"\ncat >"%s/$n.msg"\n' \
  "$work/mail" "$work/mail" "$work/mail" >"$work/sendmail"
printf '#!/bin/sh\ncat >/dev/null\nexit 75\n' >"$work/sendmail-fails" && chmod 755 "$work"/sendmail*
fwd_to() { "$fwd" --to studie@example.invalid --from server@example.invalid --mark-dir "$work/marks" "$@" "$work/spool"; }
fwd_to --sendmail "$work/sendmail-fails" >/dev/null 2>&1
check "a failing mailer is reported" test $? -eq 1
check "a failing mailer marks nothing" test -z "$(ls "$work/marks")"
fwd_to --sendmail "$work/sendmail -i" >"$work/sent"
check "both files mailed" test "$(ls "$work"/mail/*.msg | wc -l)" -eq 2
check "to the fixed address only, after --" test "$(cat "$work/mail/0.args")" = "$(printf -- '-i\n--\nstudie@example.invalid')"
decode "$work/back" <"$work/mail/1.msg"
check "the mailed file comes back byte for byte" cmp -s "$work/spool/20261209-120001.000002-2.bgn" "$work/back"
fwd_to --sendmail "$work/sendmail -i" >/dev/null
check "a second run mails nothing again" test "$(ls "$work"/mail/*.msg | wc -l)" -eq 2
"$fwd" --to 'a@b.invalid,victim@example.invalid' "$work/spool/20261209-120000.000001-1.bgn" 2>/dev/null
check "a second recipient in --to is refused" test $? -ne 0

echo "forward-answers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
