#!/usr/bin/env bash
# The window tests (CTest label x11) on a real X server: Xvfb with 1280 x 1024
# pixels on a free display and the openbox window manager, both stopped again
# however the tests end. Screenshots land in $BUILD_DIR/screenshots.
set -euo pipefail
: "${BUILD_DIR:?}"
display=""
for n in $(seq 90 130); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display between :90 and :130" >&2; exit 1; }
xvfb_pid=""
wm_pid=""
stop() {
  local pid
  for pid in $wm_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap stop EXIT
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start on $DISPLAY" >&2; exit 1; }
openbox >/dev/null 2>&1 &
wm_pid=$!
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
rm -rf "$BUILD_DIR/screenshots"
mkdir -p "$BUILD_DIR/screenshots"
cd "$BUILD_DIR"
QT_QPA_PLATFORM=xcb ctest --output-on-failure --timeout 180 -L x11
echo "screenshots: $BUILD_DIR/screenshots"
