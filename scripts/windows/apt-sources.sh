#!/usr/bin/env bash
# Adds deb-src entries for the suites the machine already uses, so the
# sources of Qt and libjpeg can be fetched with the machine's own apt.
set -euo pipefail
src=/etc/apt/sources.list.d/fragebogen-src.sources
[ -e "$src" ] && exit 0
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
tmp=$(mktemp)
for f in /etc/apt/sources.list.d/*.sources; do
  [ -e "$f" ] || continue
  # Only the enabled deb822 stanzas of type deb, retyped as deb-src.
  awk 'BEGIN{RS=""; ORS="\n\n"} /(^|\n)Types:[^\n]*deb([ \n]|$)/ && !/Enabled: *no/ {sub(/Types:[^\n]*/, "Types: deb-src"); print}' "$f" >>"$tmp"
done
if [ -f /etc/apt/sources.list ]; then
  grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$tmp.list" || true
  [ -s "$tmp.list" ] && $SUDO cp "$tmp.list" /etc/apt/sources.list.d/fragebogen-src.list
fi
[ -s "$tmp" ] && $SUDO cp "$tmp" "$src"
rm -f "$tmp" "$tmp.list"
$SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
