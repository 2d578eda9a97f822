#!/usr/bin/env bash
# The window tests (CTest label x11) on a real X server: Xvfb with 1280 x 1024
# pixels on a free display and the openbox window manager, both stopped again
# however the tests end. Screenshots land in $BUILD_DIR/screenshots.
set -euo pipefail
: "${BUILD_DIR:?}"
xvfb_pid=""
wm_pid=""
stop() {
  local pid
  for pid in $wm_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
display_file=""
trap 'stop; rm -f "$display_file"' EXIT
# Xvfb picks a free display itself and writes its number to the file.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$display_file")"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not answer on $DISPLAY" >&2; exit 1; }
openbox >/dev/null 2>&1 &
wm_pid=$!
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.1; done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" || { echo "openbox did not start" >&2; exit 1; }
rm -rf "$BUILD_DIR/screenshots"
mkdir -p "$BUILD_DIR/screenshots"
cd "$BUILD_DIR"
# The participant aids have a stage of their own with an accessibility bus.
QT_QPA_PLATFORM=xcb ctest --output-on-failure --timeout 180 -L x11 -E "^participant_"
echo "screenshots: $BUILD_DIR/screenshots"
