#!/usr/bin/env bash
# Installs what is missing, builds, starts the reference study server on
# loopback port 8080 and starts the program in the participant's folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-packages.sh" run
BUILD_DIR=$root/build "$root/scripts/build.sh" -DStudyServerHost=localhost:8080 \
  -DStudyWebAddress=http://localhost:8080/humor/ -DFRAGEBOGEN_TESTS=OFF -DFRAGEBOGEN_BENCH=OFF
if [ -x "$root/scripts/study-server" ]; then
  "$root/scripts/study-server" start --port 8080 --state "$root/.study-server" || true
fi
data=${FRAGEBOGEN_DIR:-$HOME/Fragebogen}
mkdir -p "$data"
cd "$data"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No graphical session found (DISPLAY is not set): start this from a desktop session." >&2
  exit 1
fi
echo "Answers are kept in $data"
exec "$root/build/app/fragebogen"
