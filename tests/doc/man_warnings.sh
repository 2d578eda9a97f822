#!/bin/sh
# Fails when man reports anything while rendering the page, or renders it
# without its sections.
page=$1
[ -s "$page" ] || { echo "missing: $page"; exit 1; }
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
  printf '%s\n' "$warnings"
  exit 1
fi
text=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
for section in NAME SYNOPSIS OPTIONS FILES "EXIT STATUS" EXAMPLE; do
  printf '%s\n' "$text" | grep -q "^$section\$" || { echo "no $section section in $page"; exit 1; }
done
printf '%s\n' "$text" | grep -q 'bogen\.prt' || { echo "bogen.prt not named in $page"; exit 1; }
