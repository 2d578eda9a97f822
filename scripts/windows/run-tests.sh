#!/usr/bin/env bash
# Runs the Windows build's tests under Wine with ctest:
#   scripts/windows/run-tests.sh BUILD_DIR [ctest arguments...]
# One wineserver (of a Wine prefix of the tests' own) stays up for the whole
# run. Left out by label, as they cannot run under Wine: x11 (a real X11
# server and window manager, AT-SPI) and linux-only (the export's Python
# tests, which start the program themselves, and the tests that drive the
# reference study server, a Linux program: the walk-through and the export's
# answer files). Not even built for Windows: the fuzz targets, the kill and
# disk-image (FUSE, loop mount) tests, lighttpd, the package, preview,
# man-page and study-server tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { echo "usage: run-tests.sh BUILD_DIR [ctest arguments...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift

# A folder that refuses writes, for the answer-file tests: as root a folder's
# mode stops nothing, so the run moves into a mount namespace of its own with
# a read-only bind mount (the wineserver, which opens the files, in it too).
ro=$build/wine-readonly
if [ "$(id -u)" -eq 0 ] && [ -z "${FB_RUN_TESTS_NAMESPACE:-}" ] && unshare -m true 2>/dev/null; then
  exec env FB_RUN_TESTS_NAMESPACE=1 unshare -m --propagation private "$0" "$build" "$@"
fi
mkdir -p "$ro"
if [ -n "${FB_RUN_TESTS_NAMESPACE:-}" ]; then
  mount --bind "$ro" "$ro" && mount -o remount,bind,ro "$ro" || ro=""
else
  chmod 0555 "$ro"
fi

qt=$(sed -n 's/^FRAGEBOGEN_QT_PREFIX:[A-Z]*=//p' "$build/CMakeCache.txt")
export FB_WINE_DLL_DIRS=$qt/bin
export FB_WINEPREFIX=${FB_WINEPREFIX:-${FRAGEBOGEN_CACHE:-/var/cache/fragebogen}/wine64-tests-$(id -un)}
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
trap fb_wine_stop EXIT
# Wine hands no QT_* variable to a Windows program (it keeps them for
# itself); WINEQT_X reaches it as QT_X.
export WINEQT_QPA_PLATFORM=offscreen
[ -d "$qt/plugins" ] && WINEQT_PLUGIN_PATH=$(fb_wine_path "$qt/plugins") && export WINEQT_PLUGIN_PATH
# Qt's offscreen platform on Windows reads its fonts from one folder (it has
# no fontconfig): the Liberation faces, which the Linux run finds for the
# program's fonts too, so that pages are laid out alike. Without them every
# letter is an empty box.
fonts=/usr/share/fonts/truetype/liberation
[ -f "$fonts/LiberationSans-Regular.ttf" ] || { echo "run-tests.sh: no Liberation fonts in $fonts (package fonts-liberation)" >&2; exit 1; }
WINEQT_QPA_FONTDIR=$(fb_wine_path "$fonts")
export WINEQT_QPA_FONTDIR
[ -n "$ro" ] && FB_READONLY_FOLDER=$(fb_wine_path "$ro") && export FB_READONLY_FOLDER
start=$(date +%s)
rc=0
(cd "$build" && ctest --output-on-failure -j 2 --timeout 600 -LE "${FB_WINE_EXCLUDED_LABELS:-x11|fuzz|package|linux-only}" "$@") || rc=$?
echo "Tests under Wine: $(( $(date +%s) - start )) s" >&2
exit $rc
