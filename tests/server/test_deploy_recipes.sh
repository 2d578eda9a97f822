#!/usr/bin/env bash
# The Apache and nginx recipes of server/apache and server/nginx, deployed
# into a temporary folder as their READMEs say (Debian's own configuration
# copied, changed with the recipe's a2* commands, the recipe's files with
# their paths, port and user replaced) and started as root that drops to
# "nobody", as deployed.  Each gets the program's exact requests (and the
# program's own HTTP client, when given as $1): upload stored byte for byte,
# status page, junk refused, a hanging mailer, slow clients, log rotation;
# the systemd files are checked by systemd-analyze.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
repo=$(cd "$here/../.." && pwd -P)
client=${1:-}
if [ "$(id -u)" -ne 0 ]; then echo "skipped: the servers start as root and drop to nobody, as deployed"; exit 77; fi
# A network namespace of its own: the servers, their ports and the
# firewall table touch nothing outside.
if [ -z "${FB_DEPLOY_NETNS:-}" ]; then
  unshare -n true 2>/dev/null || { echo "skipped: no network namespace can be made here"; exit 77; }
  FB_DEPLOY_NETNS=1 exec unshare -n bash "$0" "$@"
fi
ip link set lo up
work=$(mktemp -d "${TMPDIR:-/tmp}/deploy-recipes-test.XXXXXX")
chmod 755 "$work"
passed=0 failed=0 pids=()
cleanup() { for p in "${pids[@]}"; do kill -TERM -- "-$p" "$p" 2>/dev/null; done; sleep 0.5; rm -rf "$work"; }
trap cleanup EXIT
check() { local what=$1; shift; if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what" >&2; fi; }
has() { grep -qF -- "$2" "$1"; }
free_port() { perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(LocalAddr=>"127.0.0.1",Listen=>1)->sockport'; }
nogroup=$(id -gn nobody)

# The answer file and the request exactly as the program writes and sends them.
printf 'recipient=humor-studie@localhost&subject=Bogendaten&Name=J\xfcrgen M\xe4\xdfig&Email=jm@example.invalid' >"$work/answer.bgn"
for i in $(seq 1 60); do printf '&W%d.w=%d&W%d.a=%d' "$i" $((i % 7 + 1)) "$i" $((i % 5 + 1)); done >>"$work/answer.bgn"
printf '&Kommentar=50%% + mehr = gut, "Witz"\r\n' >>"$work/answer.bgn"
request() { # method, path, body file or nothing
  printf '%s %s HTTP/1.0\r\nHost: 127.0.0.1\r\n' "$1" "$2"
  printf 'Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\nAccept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n'
  printf 'Content-type: application/x-www-form-urlencoded\r\n'
  if [ -n "${3:-}" ]; then printf 'Content-Length: %d\r\n\r\n' "$(stat -c %s "$3")"; cat "$3"; else printf '\r\n'; fi
}
request POST /cgi-bin/mailmanager.pl "$work/answer.bgn" >"$work/post.req"
request GET /humor/bogenakt.html >"$work/get.req"
# A mailer that records and then hangs longer than any answer may take.
mkdir "$work/mail" && chown nobody "$work/mail" && printf '#!/bin/sh\ncat >"%s/mail/$$"\nexec sleep 15\n' "$work" >"$work/sendmail" && chmod 755 "$work/sendmail"

# The recipe's file with the temporary folder's paths, the port and nobody.
template() { # file, deployment folder, port
  sed -e "s|/srv/humorstudie|$2/srv|g; s|/var/spool/humorstudie|$2/spool|g; s|/var/lib/humorstudie|$2/state|g" \
    -e "s|/var/log/humorstudie|$2/log|g; s|/run/humorstudie|$2/run/humorstudie|g; s|/run/apache2/apache2.pid|$2/run/apache2.pid|g" \
    -e "s|/run/nginx.pid|$2/run/nginx.pid|g; s|/usr/sbin/sendmail -i|$work/sendmail|" \
    -e "s|^User fragebogen|User nobody|; s|^Group fragebogen|Group $nogroup|; s|\*:80>|*:$3>|" \
    -e "s|listen 80 default_server|listen 127.0.0.1:$3 default_server|; /listen \[::\]:80/d; s|dport 80 |dport $3 |" "$1"
}
deploy_tree() { # deployment folder: the layout of the READMEs
  mkdir -p "$1"/{srv/htdocs/humor,srv/cgi-bin,spool,state,log,run}
  cp "$repo/server/htdocs/humor/index.html" "$1/srv/htdocs/humor/" && cp "$repo/server/pages/bogenakt-imgang.html" "$1/srv/htdocs/humor/bogenakt.html"
  install -m 755 "$repo/server/cgi-bin/mailmanager.pl" "$1/srv/cgi-bin/"
  chown "nobody:$nogroup" "$1/spool" "$1/state" && chmod 700 "$1/spool" "$1/state"
}
answers() { for _ in $(seq 1 50); do curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$1/humor/" && return 0; sleep 0.2; done; return 1; }
post() { curl -s --max-time 10 -o "$2" -w '%{http_code}' --data-binary @"$1" "http://127.0.0.1:$port/cgi-bin/mailmanager.pl"; }

exercise() { # name; uses $port and $d
  local n=$1 spool=$d/spool f start=$SECONDS
  perl "$here/raw_http.pl" "$port" "$work/get.req" >"$d/get.resp"
  check "$n: the status page says imgang" has "$d/get.resp" imgang
  cp "$repo/server/pages/bogenakt-zuende.html" "$d/srv/htdocs/humor/.new" && mv "$d/srv/htdocs/humor/.new" "$d/srv/htdocs/humor/bogenakt.html"
  perl "$here/raw_http.pl" "$port" "$work/get.req" >"$d/closed.resp"
  check "$n: the closed status page says zuende" has "$d/closed.resp" zuende
  start=$SECONDS
  perl "$here/raw_http.pl" "$port" "$work/post.req" >"$d/post.resp"
  check "$n: the upload is answered with Vielen Dank!" has "$d/post.resp" 'Vielen Dank!'
  check "$n: the upload is answered while the mailer hangs" test $((SECONDS - start)) -lt 10
  f=$(find "$spool" -name '*.bgn')
  check "$n: stored once, byte for byte" cmp -s "$work/answer.bgn" "$f"
  check "$n: stored by nobody" test "$(stat -c %U "$f" 2>/dev/null)" = nobody
  for _ in $(seq 1 50); do [ -n "$(ls "$work/mail")" ] && break; sleep 0.1; done
  check "$n: the confirmation went to the mailer" grep -qs 'To: jm@example.invalid' "$work"/mail/*
  if [ -n "$client" ]; then
    "$client" post "http://127.0.0.1:$port/cgi-bin/mailmanager.pl" "$work/answer.bgn" >/dev/null 2>&1
    check "$n: the program's client uploads, byte for byte" bash -c "[ \$(ls '$spool' | wc -l) = 2 ] && for f in '$spool'/*.bgn; do cmp -s '$work/answer.bgn' \$f || exit 1; done"
    check "$n: the program's client reads the status page" bash -c "'$client' get http://127.0.0.1:$port/humor/bogenakt.html >/dev/null"
  fi
  for junk in 'recipient=&Email=victim@example.invalid' 'recipient=other@example.invalid&subject=Bogendaten&Name=X\r\n' \
    'recipient=humor-studie@localhost&subject=Bogendaten&Name=X\r\nBcc: y\r\n'; do
    printf "$junk" >"$d/junk" && check "$n: junk refused with 400: $junk" test "$(post "$d/junk" "$d/junk.html")" = 400
  done
  head -c 65536 /dev/zero | tr '\0' 'a' | sed 's/^/recipient=humor-studie@localhost\&subject=Bogendaten\&/' >"$d/junk"
  check "$n: a 64 KiB body is refused by the server" test "$(post "$d/junk" "$d/junk.html")" = 413
  check "$n: nothing else under /cgi-bin/ runs" bash -c "[[ \$(curl -s -o /dev/null -w '%{http_code}' http://127.0.0.1:$port/cgi-bin/test-cgi) =~ ^40[34]\$ ]]"
  check "$n: junk stored nothing" test "$(find "$spool" -type f | wc -l)" -eq $((${client:+1} + 1))
  # 300 slow heads from one address and 5 slow bodies from another:
  # the upload goes through, at most 20 are taken, none is kept past the
  # total time limit.
  template "$repo/server/apache/humorstudie.nft" "$d" "$port" | nft -f -
  perl "$here/slow_clients.pl" "$port" 300 127.0.0.2 16 >"$d/slow.out" & local slow=$!
  perl "$here/slow_clients.pl" "$port" 5 127.0.0.3 16 body >"$d/slowbody.out" & local slowbody=$!
  sleep 2
  f=$(curl -s --max-time 5 -o /dev/null -w '%{http_code} in %{time_total} s' --data-binary @"$work/answer.bgn" "http://127.0.0.1:$port/cgi-bin/mailmanager.pl")
  check "$n: an upload during a slow-client attack ($f)" test "${f%% *}" = 200
  wait "$slow" "$slowbody"
  check "$n: slow heads: $(cat "$d/slow.out")" perl -ne 'exit !(/^taken (\d+) of 300, longest ([\d.]+) s/ && $1 <= 20 && $2 < 15)' "$d/slow.out"
  # nginx has no total time limit for a body (its README says so).
  [ "$n" = apache ] && check "$n: slow bodies: $(cat "$d/slowbody.out")" perl -ne 'exit !(/longest ([\d.]+) s/ && $1 < 15)' "$d/slowbody.out"
  # Log rotation as installed, its signal aimed at this server.
  template "$logrotate" "$d" "$port" >"$d/logrotate.conf" && logrotate -f -s "$d/logrotate.state" "$d/logrotate.conf"
  sleep 1 && answers "$port"
  check "$n: logs rotated and reopened" bash -c "ls '$d/log/' | grep -q 'access.log.1' && grep -q 'GET /humor/' '$d/log/'*-access.log"
}

# The units and drop-ins as systemd reads them (offline, none is started).
mkdir -p "$work/units/apache2.service.d" "$work/units/nginx.service.d"
cp /lib/systemd/system/apache2.service /lib/systemd/system/nginx.service "$repo"/server/nginx/humorstudie-fcgiwrap.* "$work/units/"
cp "$repo/server/apache/apache2-humorstudie.conf" "$work/units/apache2.service.d/humorstudie.conf"
cp "$repo/server/nginx/nginx-humorstudie.conf" "$work/units/nginx.service.d/humorstudie.conf"
SYSTEMD_UNIT_PATH=$work/units: systemd-analyze verify "$work"/units/*.service "$work"/units/*.socket >"$work/units.log" 2>&1
check "systemd takes the units and drop-ins without complaint: $(cat "$work/units.log")" test ! -s "$work/units.log"

# --- Apache -----------------------------------------------------------------------------
d=$work/apache port=$(free_port) logrotate=$repo/server/apache/logrotate-humorstudie
deploy_tree "$d"
cp -a /etc/apache2 "$d/etc" && echo "Listen 127.0.0.1:$port" >"$d/etc/ports.conf"
sed -i -E "s#^export APACHE_(RUN_DIR|LOCK_DIR|LOG_DIR)=.*#export APACHE_\1=$d/run#; s#^export APACHE_PID_FILE=.*#export APACHE_PID_FILE=$d/run/apache2.pid#" "$d/etc/envvars"
template "$repo/server/apache/humorstudie.conf" "$d" "$port" >"$d/etc/sites-available/humorstudie.conf"
export APACHE_CONFDIR=$d/etc APACHE_STATE_DIRECTORY=$d/a2state
# The recipe's commands (server/apache/README.md).
{ a2dissite 000-default; a2disconf serve-cgi-bin; a2enmod cgid reqtimeout env alias mime dir
  a2ensite humorstudie; } >"$d/a2.log" 2>&1
# As apache2.service starts it (apachectl reads envvars from APACHE_CONFDIR).
APACHE_STARTED_BY_SYSTEMD=true setsid apache2ctl start 2>"$d/start.err"
if answers "$port"; then pids+=("$(cat "$d/run/apache2.pid")"); exercise apache
else failed=$((failed + 1)); echo "FAIL: Apache did not start" >&2; cat "$d/a2.log" "$d/start.err" "$d/log/"* >&2; fi
unset APACHE_CONFDIR APACHE_STATE_DIRECTORY
rm -f "$work"/mail/*

# --- nginx with fcgiwrap --------------------------------------------------------------
d=$work/nginx port=$(free_port) logrotate=$repo/server/nginx/logrotate-humorstudie
deploy_tree "$d"
cp -a /etc/nginx "$d/etc" && rm -f "$d/etc/sites-enabled/default"
sed -i "s|/etc/nginx|$d/etc|g; s|/run/nginx.pid|$d/run/nginx.pid|; s|/var/log/nginx|$d/log|g" "$d/etc/nginx.conf"
template "$repo/server/nginx/humorstudie" "$d" "$port" >"$d/etc/sites-available/humorstudie"
ln -s ../sites-available/humorstudie "$d/etc/sites-enabled/humorstudie"
# What humorstudie-fcgiwrap.socket and .service set up: the socket for
# nobody and nginx's group, fcgiwrap as nobody.
sock=$d/run/humorstudie/fcgiwrap.sock
mkdir "$d/run/humorstudie" && chown nobody "$d/run/humorstudie"
setsid setpriv --reuid=nobody --regid="$nogroup" --clear-groups /usr/sbin/fcgiwrap -f -c 4 -s "unix:$sock" 2>"$d/log/fcgiwrap.log" &
pids+=($!)
for _ in $(seq 1 50); do [ -S "$sock" ] && chgrp www-data "$sock" && chmod 660 "$sock" && break; sleep 0.1; done
nginx -c "$d/etc/nginx.conf" 2>"$d/start.err"
if answers "$port"; then pids+=("$(cat "$d/run/nginx.pid")"); exercise nginx
else failed=$((failed + 1)); echo "FAIL: nginx did not start" >&2; cat "$d/start.err" "$d/log/"* >&2; fi

echo "deployment recipes: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
