#!/usr/bin/env bash
# Drives the reference study server through scripts/study-server on a free
# loopback port: the status switch, the exact bytes of the program's two
# requests, the spool under concurrent posts, the refusals, and stop.
# Every network call and every wait is bounded.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
repo=$(cd "$here/../.." && pwd -P)
ctl="$repo/scripts/study-server"
raw="$here/raw_http.pl"
cgi="$repo/server/cgi-bin/mailmanager.pl"

work=$(mktemp -d "${TMPDIR:-/tmp}/study-server-test.XXXXXX")
chmod 755 "$work"
state="$work/state"
passed=0
failed=0

cleanup() {
  "$ctl" stop --state "$state" >/dev/null 2>&1
  [ -d "$work/other" ] && "$ctl" stop --state "$work/other" >/dev/null 2>&1
  [ -d "$work/user" ] && "$ctl" stop --state "$work/user" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

check() { # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what" >&2
  fi
}

has() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }

spool_count() { find "$state/spool" -maxdepth 1 -type f -name '*.bgn' | wc -l; }
snapshot() { find "$state/spool" -maxdepth 1 -type f -name '*.bgn' | LC_ALL=C sort >"$work/snapshot"; }
new_files() { find "$state/spool" -maxdepth 1 -type f -name '*.bgn' | LC_ALL=C sort | LC_ALL=C comm -13 "$work/snapshot" -; }

# The running lighttpd's pid, of the newest generation of servers.
lighttpd_pid() { cat "$1/run/lighttpd$(cat "$1/run/current" 2>/dev/null).pid" 2>/dev/null; }

# Processes whose command line names this file (read from /proc, no procps).
procs_naming() {
  local f
  for f in /proc/[0-9]*/cmdline; do
    { tr '\0' ' ' <"$f"; } 2>/dev/null | grep -qF -- "$1" && echo "${f%/cmdline}"
  done
}

# Listening sockets of the port, as local addresses from /proc (no ss needed).
listen_addrs() {
  local hexport
  hexport=$(printf '%04X' "$1")
  awk -v p=":$hexport" '$4 == "0A" && substr($2, length($2) - 4) == p { print $2 }' \
    /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

get_status_page() { # file to write the response to
  curl -s --max-time 5 -o "$1" "http://127.0.0.1:$port/humor/bogenakt.html"
}

# The status query and the upload exactly as the program sends them.
client_headers() {
  printf 'Host: localhost\r\n'
  printf 'Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n'
  printf 'Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n'
  printf 'Content-type: application/x-www-form-urlencoded\r\n'
}
make_get() {
  { printf 'GET /humor/bogenakt.html HTTP/1.0\r\n'; client_headers; printf '\r\n'; } >"$1"
}
make_post() { # request file, body file
  { printf 'POST /cgi-bin/mailmanager.pl HTTP/1.0\r\n'
    client_headers
    printf 'Content-Length: %d\r\n\r\n' "$(stat -c %s "$2")"
    cat "$2"; } >"$1"
}

# An answer file as the program writes it: one line, Windows-1252 bytes,
# nothing URL-encoded (so "%", "+" and "=" inside values stay as they are).
make_answer() { # file, distinguishing number
  {
    printf 'recipient=humor-studie@localhost&subject=Bogendaten'
    printf '&Name=J\xfcrgen M\xe4\xdfig %s&Email=jm%s@localhost&Geschlecht=1&Alter=34' "$2" "$2"
    local i
    for i in $(seq 1 40); do printf '&W%d.w=%d&W%d.a=%d' "$i" $((i % 7 + 1)) "$i" $(((i + 3) % 7 + 1)); done
    for i in $(seq 1 20); do printf '&C%d.w=%d&C%d.a=%d' "$i" $((i % 7 + 1)) "$i" $(((i + 5) % 7 + 1)); done
    printf '&Kommentar=50%% + mehr = gut, "Witz" & so'
    printf '\r\n'
  } >"$1"
}

post_file() { # body file, response file -> prints the status code
  curl -s --max-time 10 -o "$2" -w '%{http_code}' \
    -H 'Content-type: application/x-www-form-urlencoded' \
    --data-binary @"$1" "http://127.0.0.1:$port/cgi-bin/mailmanager.pl"
}

# --- start -----------------------------------------------------------------
port=$("$ctl" start --port 0 --state "$state" 2>"$work/start.err")
check "start --port 0 succeeds and prints a port" test -n "$port" -a "$port" -gt 0 2>/dev/null
if ! [[ "$port" =~ ^[0-9]+$ ]]; then
  cat "$work/start.err" >&2
  echo "0 passed, 1 failed"
  exit 1
fi
pid=$(lighttpd_pid "$state")
check "status reports running" "$ctl" status --state "$state" >/dev/null
check "listens on 127.0.0.1 only" test "$(listen_addrs "$port")" = "0100007F:$(printf '%04X' "$port")"
check "spool prints the spool directory" test "$("$ctl" spool --state "$state")" = "$state/spool"
again=$("$ctl" start --state "$state" 2>/dev/null)
check "a second start of the same state reports the same port" test "$again" = "$port"
check "the server's pid is known" test -n "$pid"
check "a second start leaves one server" test "$(lighttpd_pid "$state")" = "$pid"

check "start refuses a port past 65535" bash -c "! '$ctl' start --port 70000 --state '$work/other' 2>/dev/null"

# A port that is taken: start fails, names the cause, leaves nothing running.
"$ctl" start --port "$port" --state "$work/other" >/dev/null 2>"$work/other.err"
rc=$?
check "start on a taken port fails" test "$rc" -ne 0
check "start on a taken port leaves no process" test -z "$(procs_naming "$work/other/")"

# --- the status page and its switch ------------------------------------------
make_get "$work/get.req"
perl "$raw" "$port" "$work/get.req" >"$work/get.resp" 2>"$work/get.err"
check "the program's GET is answered and the connection closed" test $? -eq 0
check "GET answers 200" bash -c "head -n 1 '$work/get.resp' | grep -q '^HTTP/1\.[01] 200 '"
check "running page holds imgang" has "$work/get.resp" imgang
check "running page lacks zuende" lacks "$work/get.resp" zuende

"$ctl" close --state "$state" 2>/dev/null
get_status_page "$work/closed.html"
check "closed page holds zuende" has "$work/closed.html" zuende
check "closed page lacks imgang" lacks "$work/closed.html" imgang
check "status reports closed" bash -c "'$ctl' status --state '$state' | grep -q 'study closed'"

# The switch survives a restart.
"$ctl" stop --state "$state" 2>/dev/null
port=$("$ctl" start --port 0 --state "$state" 2>/dev/null)
get_status_page "$work/closed2.html"
check "closed stays closed across a restart" has "$work/closed2.html" zuende

"$ctl" open --state "$state" 2>/dev/null
get_status_page "$work/open.html"
check "reopened page holds imgang" has "$work/open.html" imgang
check "reopened page lacks zuende" lacks "$work/open.html" zuende

# --- uploads -----------------------------------------------------------------
make_answer "$work/answer.bgn" 0
make_post "$work/post.req" "$work/answer.bgn"
before=$(spool_count)
snapshot
perl "$raw" "$port" "$work/post.req" >"$work/post.resp" 2>"$work/post.err"
check "the program's POST is answered and the connection closed" test $? -eq 0
check "upload answers 200" bash -c "head -n 1 '$work/post.resp' | grep -q '^HTTP/1\.[01] 200 '"
check "upload answer says Vielen Dank!" has "$work/post.resp" 'Vielen Dank!'
check "upload adds exactly one spool file" test "$(spool_count)" -eq $((before + 1))
check "the spool file holds the answer file's bytes exactly" cmp -s "$work/answer.bgn" "$(new_files | head -n 1)"

# The same bytes again make a second file rather than replace the first.
code=$(post_file "$work/answer.bgn" "$work/again.html")
check "a repeated upload is taken" test "$code" = 200
check "a repeated upload adds a file" test "$(spool_count)" -eq $((before + 2))

# 20 at once: 20 complete files with distinct names, none lost or mixed.
mkdir -p "$work/many"
for i in $(seq 1 20); do make_answer "$work/many/$i.bgn" "$i"; done
before=$(spool_count)
snapshot
pids=()
for i in $(seq 1 20); do
  post_file "$work/many/$i.bgn" "$work/many/$i.html" >"$work/many/$i.code" &
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p"; done
ok=0
for i in $(seq 1 20); do
  [ "$(cat "$work/many/$i.code")" = 200 ] && grep -qF 'Vielen Dank!' "$work/many/$i.html" && ok=$((ok + 1))
done
check "20 concurrent uploads all answered with Vielen Dank!" test "$ok" -eq 20
check "20 concurrent uploads give 20 new files" test "$(spool_count)" -eq $((before + 20))
sent=$(cd "$work/many" && cat ./*.bgn | LC_ALL=C sort | sha256sum)
got=$(new_files | xargs cat | LC_ALL=C sort | sha256sum)
check "the 20 files hold exactly the 20 bodies" test "$sent" = "$got"
check "no temporary file is left in the spool" test -z "$(find "$state/spool" -name '.tmp-*')"

# --- refusals: never "Vielen Dank!", never a spool file -----------------------
refused() { # description, status pattern, response file
  check "$1: status" bash -c "[[ '$(cat "$work/code")' =~ $2 ]]"
  check "$1: no Vielen Dank!" lacks "$3" 'Vielen Dank!'
  check "$1: nothing spooled" test "$(spool_count)" -eq "$before"
}
before=$(spool_count)

{ head -c 1 "$work/answer.bgn"; printf 'ecipient=x&'; head -c 100000 /dev/zero | tr '\0' 'a'; } >"$work/big.bgn"
post_file "$work/big.bgn" "$work/big.html" >"$work/code"
refused "100 kB body (the server's limit)" '^4(00|13)$' "$work/big.html"

head -c 400000 /dev/zero | tr '\0' 'b' | sed 's/^/recipient=x\&/' >"$work/huge.bgn"
post_file "$work/huge.bgn" "$work/huge.html" >"$work/code"
refused "400 kB body (the server's limit)" '^413$' "$work/huge.html"

: >"$work/empty.bgn"
post_file "$work/empty.bgn" "$work/empty.html" >"$work/code"
refused "empty body" '^4[0-9][0-9]$' "$work/empty.html"

printf 'subject=Bogendaten&Name=X&Email=y\r\n' >"$work/norecip.bgn"
post_file "$work/norecip.bgn" "$work/norecip.html" >"$work/code"
refused "body without recipient" '^400$' "$work/norecip.html"

printf 'Xrecipient=a&b=c\r\n' >"$work/fakerecip.bgn"
post_file "$work/fakerecip.bgn" "$work/fakerecip.html" >"$work/code"
refused "recipient only inside another field's name" '^400$' "$work/fakerecip.html"

head -c 3000 /dev/urandom >"$work/binary.bgn"
post_file "$work/binary.bgn" "$work/binary.html" >"$work/code"
refused "binary file" '^400$' "$work/binary.html"

curl -s --max-time 5 -o "$work/getcgi.html" -w '%{http_code}' "http://127.0.0.1:$port/cgi-bin/mailmanager.pl" >"$work/code"
refused "GET of the script" '^405$' "$work/getcgi.html"

curl -s --max-time 5 -o "$work/other.html" -w '%{http_code}' "http://127.0.0.1:$port/cgi-bin/raw_http.pl" >"$work/code"
check "no other CGI path is served" bash -c "[[ '$(cat "$work/code")' =~ ^40[34]$ ]]"

# A client that announces a body and then goes away: nothing partial lands.
perl "$raw" "$port" "$work/post.req" --stop-after $(($(stat -c %s "$work/post.req") - 200)) >"$work/cut.resp" 2>/dev/null
check "a request cut short gives no Vielen Dank!" lacks "$work/cut.resp" 'Vielen Dank!'
check "a request cut short spools nothing" test "$(spool_count)" -eq "$before"

# The script on its own, as any web server runs it.
run_cgi() { # spool dir, content length, body file
  env -i FB_SPOOL_DIR="$1" REQUEST_METHOD=POST CONTENT_LENGTH="$2" perl "$cgi" <"$3" 2>/dev/null
}
run_cgi "$work/no-such-dir" "$(stat -c %s "$work/answer.bgn")" "$work/answer.bgn" >"$work/cgi-nodir.out"
check "a spool that cannot be written answers 500" has "$work/cgi-nodir.out" 'Status: 500'
check "a spool that cannot be written gives no Vielen Dank!" lacks "$work/cgi-nodir.out" 'Vielen Dank!'
mkdir "$work/cgi-spool"
run_cgi "$work/cgi-spool" 5000 "$work/answer.bgn" >"$work/cgi-short.out"
check "a body shorter than its length is refused" has "$work/cgi-short.out" 'Status: 400'
check "a body shorter than its length is not stored" test -z "$(ls -A "$work/cgi-spool")"
run_cgi "$work/cgi-spool" "$(stat -c %s "$work/answer.bgn")" "$work/answer.bgn" >"$work/cgi-ok.out"
check "the script alone stores the body" cmp -s "$work/answer.bgn" "$(find "$work/cgi-spool" -name '*.bgn')"
check "the script alone leaves no temporary file" test "$(find "$work/cgi-spool" -mindepth 1 | wc -l)" -eq 1

# --- after a crash: start mends it, never "already running" with nothing there
for victim in haproxy lighttpd; do
  kill -9 "$(cat "$state/run/$victim$(cat "$state/run/current").pid")"
  "$ctl" start --port "$port" --state "$state" >/dev/null 2>&1
  check "start after a kill -9 of $victim: the status page answers" \
    curl -sf -o /dev/null --max-time 5 "http://127.0.0.1:$port/humor/bogenakt.html"
done

# --- stop --------------------------------------------------------------------
pid=$(lighttpd_pid "$state")
"$ctl" stop --state "$state" 2>/dev/null
check "stop ends the server process" bash -c "! kill -0 $pid 2>/dev/null"
check "stop leaves no process of this state directory" test -z "$(procs_naming "$state/")"
check "status reports stopped" bash -c "'$ctl' status --state '$state' >/dev/null; test \$? -eq 3"
check "nothing listens on the port after stop" test -z "$(listen_addrs "$port")"
check "stop when stopped is harmless" "$ctl" stop --state "$state" 2>/dev/null

# --- as a normal user (when the test runs as root and such a user exists) ---
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1 && command -v runuser >/dev/null &&
  runuser -u nobody -- test -r "$ctl" -a -x "$repo/server"; then
  mkdir "$work/user" && chown nobody "$work/user"
  as_nobody() { runuser -u nobody -- env -u STUDY_SERVER_STATE "$@"; }
  uport=$(cd "$work/user" && as_nobody "$ctl" start --port 0 2>"$work/user.err")
  check "a normal user can start the server (default state in \$PWD)" \
    bash -c "[[ '$uport' =~ ^[0-9]+\$ ]] && test -d '$work/user/.study-server/spool'"
  if [[ "$uport" =~ ^[0-9]+$ ]]; then
    code=$(port=$uport post_file "$work/answer.bgn" "$work/user.html")
    check "a normal user's server takes an upload" test "$code" = 200
    check "a normal user's spool holds it" cmp -s "$work/answer.bgn" "$(find "$work/user/.study-server/spool" -name '*.bgn' | head -n 1)"
    (cd "$work/user" && as_nobody "$ctl" stop 2>/dev/null)
    check "a normal user can stop the server" bash -c "! (cd '$work/user' && '$ctl' status >/dev/null)"
  else
    cat "$work/user.err" >&2
  fi
else
  echo "note: the normal-user case needs root, the user nobody and a repository nobody can read; skipped" >&2
fi

# --- started by root from a tree its server user cannot read ------------------
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  mkdir -m 700 "$work/private" && cp -R "$repo/scripts" "$repo/server" "$work/private/"
  pport=$("$work/private/scripts/study-server" start --port 0 --https-port off --state "$work/pstate" 2>"$work/private.err")
  check "a private tree's server starts: $(tail -n 1 "$work/private.err")" test -n "$pport"
  code=$(port=$pport post_file "$work/answer.bgn" "$work/private.html")
  check "a private tree's server takes an upload" test "$code" = 200
  "$work/private/scripts/study-server" stop --state "$work/pstate" 2>/dev/null
fi

echo "study-server: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
