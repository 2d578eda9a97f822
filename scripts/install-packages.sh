#!/usr/bin/env bash
# Installs the Debian packages of the named sets that are missing: each set is
# a folder scripts/packages.d/SET/ of *.txt lists, one package a line.
#   run      building the program and running it with the demo study server
#   test     what the tests, benchmarks and test stages add
#   windows  what the Windows build and its tests under Wine add
# Runs as root or through sudo.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || set -- run
lists=()
for set in "$@"; do
  [ -d "$here/packages.d/$set" ] || { echo "install-packages.sh: no package set '$set'" >&2; exit 2; }
  for f in "$here/packages.d/$set"/*.txt; do [ -e "$f" ] && lists+=("$f"); done
done
[ ${#lists[@]} -eq 0 ] && exit 0
mapfile -t wanted < <(cat "${lists[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "Installing: ${missing[*]}"
# Web servers in the lists are started by our own scripts on loopback ports;
# their packaged services must not start on port 80 (two would clash and
# fail the install).
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod 755 "$policy"
  trap '$SUDO rm -f "$policy"' EXIT
fi
$SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
