#!/usr/bin/env bash
# Runs the Windows build's tests under Wine with ctest:
#   scripts/windows/run-tests.sh BUILD_DIR [ctest arguments...]
# One wineserver stays up for the whole run. Left out by label, as they
# cannot run under Wine: x11 (real X11 window manager), fuzz, package,
# fs-image (FUSE and loop disk images), atspi (accessibility bus).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { echo "usage: run-tests.sh BUILD_DIR [ctest arguments...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift
qt=$(sed -n 's/^FRAGEBOGEN_QT_PREFIX:[A-Z]*=//p' "$build/CMakeCache.txt")
export FB_WINE_DLL_DIRS=$qt/bin
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
trap fb_wine_stop EXIT
export QT_QPA_PLATFORM=offscreen
start=$(date +%s)
rc=0
(cd "$build" && ctest --output-on-failure -j 2 --timeout 600 -LE "${FB_WINE_EXCLUDED_LABELS:-x11|fuzz|package|fs-image|atspi}" "$@") || rc=$?
echo "Tests under Wine: $(( $(date +%s) - start )) s" >&2
exit $rc
