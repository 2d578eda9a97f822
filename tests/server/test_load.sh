#!/usr/bin/env bash
# The study server under load and attack, on loopback only, every loop
# bounded: 500 distinct uploads with 50 in flight and a restart in the
# middle, then a stop and a start in the middle of more; each upload must
# be answered "Vielen Dank!" and stored exactly once, byte for byte.  Across
# the restart no connection may be refused or cut; across the stop one that
# got no answer is tried again, as a participant would, and must then not
# be stored twice.  Then 300
# slow connections from one address while a real upload must succeed
# within 2 s, and the user the servers run as.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
repo=$(cd "$here/../.." && pwd -P)
ctl="$repo/scripts/study-server"

work=$(mktemp -d "${TMPDIR:-/tmp}/study-server-load.XXXXXX")
chmod 755 "$work"
state="$work/state"
passed=0
failed=0
cleanup() {
  "$ctl" stop --state "$state" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

check() { # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what" >&2; fi
}

port=$("$ctl" start --port 0 --state "$state" --request-timeout 3 2>"$work/start.err")
if ! [[ "$port" =~ ^[0-9]+$ ]]; then
  cat "$work/start.err" >&2
  echo "load: 0 passed, 1 failed"
  exit 1
fi

# Answer files as the program writes them, each different.
mkdir "$work/up"
perl -e '
  for my $n (1 .. 700) {
    open(my $f, ">:raw", "$ARGV[0]/$n.bgn") or die;
    print $f "recipient=humor-studie\@localhost&subject=Bogendaten&Name=Teilnehmer \xe4 $n&Email=*",
      map({ "&W$_.w=" . (($n + $_) % 7 + 1) } 1 .. 60), "&Kommentar=50% + $n = gut\r\n";
  }' "$work/up"

# One upload, tried again while the connection is refused or closed without
# an answer; the outcome and the number of tries.
upload() {
  local n=$1 i rc code thanked
  for i in $(seq 1 300); do
    code=$(curl -s -o "$work/up/$n.html" -w '%{http_code}' --max-time 30 \
      -H 'Content-type: application/x-www-form-urlencoded' --data-binary @"$work/up/$n.bgn" \
      "http://127.0.0.1:$port/cgi-bin/mailmanager.pl")
    rc=$?
    case $rc in 7 | 52 | 56) sleep 0.1 ;; *) break ;; esac
  done
  grep -qF "Vielen Dank!" "$work/up/$n.html" 2>/dev/null && thanked=1 || thanked=0
  echo "$rc $code $thanked $i" >"$work/up/$n.res"
}
export -f upload
export work port

# Runs uploads $1..$2, 50 at a time; once $3 of them have an outcome, runs
# the command that follows in the background.
load() {
  local from=$1 to=$2 at=$3
  shift 3
  (
    for i in $(seq 1 600); do
      [ "$(find "$work/up" -name '*.res' | wc -l)" -ge "$at" ] && break
      sleep 0.05
    done
    "$@" >/dev/null 2>>"$work/ctl.err"
  ) &
  local mid=$!
  seq "$from" "$to" | xargs -P 50 -I{} bash -c 'upload {}'
  wait "$mid"
}

stored_once() { # first, last
  local want got
  want=$(for n in $(seq "$1" "$2"); do sha256sum <"$work/up/$n.bgn"; done | sort)
  got=$(find "$state/spool" -name '*.bgn' -exec sha256sum {} + | cut -c1-64 | sed 's/$/  -/' | sort)
  [ "$want" = "$got" ]
}
answered() { # first, last
  local n
  for n in $(seq "$1" "$2"); do [[ "$(cat "$work/up/$n.res")" == "0 200 1 "* ]] || return 1; done
}
first_try() { # first, last
  local n
  for n in $(seq "$1" "$2"); do [[ "$(cat "$work/up/$n.res")" == *" 1" ]] || return 1; done
}

load 1 500 150 "$ctl" restart --state "$state"
check "500 uploads across a restart: each answered Vielen Dank!" answered 1 500
check "500 uploads across a restart: none refused or cut" first_try 1 500
check "500 uploads across a restart: each stored once, byte for byte" stored_once 1 500
check "the restarted server runs" "$ctl" status --state "$state"

load 501 700 550 bash -c "'$ctl' stop --state '$state' && sleep 1 && '$ctl' restart --state '$state'"
check "200 more across a stop and a start: each answered" answered 501 700
check "200 more across a stop and a start: each stored once" stored_once 1 700
check "no temporary file left" test -z "$(find "$state/spool" "$state/tmp" -name '.tmp-*' -o -path "$state/tmp/*")"
"$ctl" spool --state "$state" 2>"$work/spool.txt" >/dev/null
check "spool lists 700 distinct files" grep -q '^700 answer files, 700 distinct, 0 duplicates; 0 leftover' "$work/spool.txt"

# --- slow clients ----------------------------------------------------------
answer="$work/up/1.bgn"
req="$work/post.req"
{ printf 'POST /cgi-bin/mailmanager.pl HTTP/1.0\r\nHost: localhost\r\n'
  printf 'Content-type: application/x-www-form-urlencoded\r\nContent-Length: %d\r\n\r\n' "$(stat -c %s "$answer")"
  cat "$answer"; } >"$req"
perl "$here/slow_clients.pl" "$port" 300 127.0.0.2 8 >"$work/slow.txt" &
slow=$!
perl "$here/slow_clients.pl" "$port" 5 127.0.0.3 8 body >"$work/slowbody.txt" &
slowbody=$!
sleep 1.5
start=$(date +%s%N)
perl "$here/raw_http.pl" "$port" "$req" >"$work/real.resp" 2>&1
took=$((($(date +%s%N) - start) / 1000000))
check "under 300 slow connections a real upload succeeds (${took} ms)" grep -q 'Vielen Dank!' "$work/real.resp"
check "... within 2 s" test "$took" -lt 2000
wait "$slow" "$slowbody"
check "one address gets 20 connections: $(cat "$work/slow.txt")" grep -q '^taken 20 of 300' "$work/slow.txt"
check "a slow header is cut after the total time: $(cat "$work/slow.txt")" \
  perl -ne 'exit !(/longest ([\d.]+)/ && $1 < 6)' "$work/slow.txt"
check "a slow body is cut after the total time: $(cat "$work/slowbody.txt")" \
  perl -ne 'exit !(/taken 5 of 5, longest ([\d.]+)/ && $1 < 6)' "$work/slowbody.txt"

# --- not as root ---------------------------------------------------------------
if [ "$(id -u)" -eq 0 ]; then
  uid_of() { awk '/^Uid:/ { print $2 }' "/proc/$(cat "$state/run/$1$(cat "$state/run/current").pid")/status"; }
  check "lighttpd does not run as root" test "$(uid_of lighttpd)" -ne 0
  check "haproxy does not run as root" test "$(uid_of haproxy)" -ne 0
  check "the answers belong to the server's user" \
    test -z "$(find "$state/spool" -mindepth 1 ! -uid "$(uid_of lighttpd)")"
fi

echo "load: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
