#!/bin/sh
# Regenerates every picture under content/ (bitmaps, icon, cartoons) byte for
# byte. Needs Debian's python3-cairo, libjpeg-turbo-progs (cjpeg) and
# fonts-dejavu-core; runs Debian's own Python so the cairo module is found.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exec /usr/bin/python3 "$here/generate.py" "$@"
