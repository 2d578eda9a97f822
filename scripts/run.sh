#!/usr/bin/env bash
# Installs what is missing, starts the reference study server on loopback
# (HTTP on port 8080, HTTPS on 8443; its first start makes a local CA in the
# state folder), builds the program for https://localhost:8443 with that CA
# embedded as its only trust anchor, and starts the program in the
# participant's folder. FRAGEBOGEN_PORT and FRAGEBOGEN_HTTPS_PORT choose
# other ports.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-packages.sh" run
port=${FRAGEBOGEN_PORT:-8080}
https_port=${FRAGEBOGEN_HTTPS_PORT:-8443}
state=$root/.study-server
# Started by root, the server runs as an unprivileged user; a tree in a
# private folder (root's home, say) keeps its state where that user can
# reach it.
if [ "$(id -u)" -eq 0 ]; then
  user=nobody
  ! id -u fragebogen >/dev/null 2>&1 || user=fragebogen
  if ! runuser -u "$user" -- test -x "$root"; then
    state=/var/lib/fragebogen/study-server
    mkdir -p "$state"
    chmod 755 /var/lib/fragebogen
  fi
fi
# A server left running from an earlier start is fine as long as it answers
# over HTTPS with the CA of its state folder.
if ! "$root/scripts/study-server" start --port "$port" --https-port "$https_port" --state "$state" >/dev/null; then
  curl -sf -o /dev/null --max-time 5 --cacert "$state/tls/ca.pem" "https://localhost:$https_port/humor/bogenakt.html" ||
    { echo "run.sh: the study server does not answer on https://localhost:$https_port/" >&2; exit 1; }
fi
[ -s "$state/tls/ca.pem" ] || { echo "run.sh: the study server made no CA ($state/tls/ca.pem)" >&2; exit 1; }
BUILD_DIR=$root/build "$root/scripts/build.sh" -DStudyServerScheme=https -DStudyServerHost="localhost:$https_port" \
  -DStudyServerCaFile="$state/tls/ca.pem" -DStudyWebAddress="https://localhost:$https_port/humor/" \
  -DFRAGEBOGEN_TESTS=OFF -DFRAGEBOGEN_BENCH=OFF
data=${FRAGEBOGEN_DIR:-$HOME/Fragebogen}
mkdir -p "$data"
cd "$data"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No graphical session found (DISPLAY is not set): start this from a desktop session." >&2
  exit 1
fi
echo "Answers are kept in $data"
exec "$root/build/app/fragebogen"
