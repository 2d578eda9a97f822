#!/usr/bin/env bash
# The missing-answer marks and the keyboard rating once more on a real X
# server with a window manager, where activation and focus go through the
# window system. Screenshots of the marked pages land in $BUILD_DIR/shots-x11.
set -euo pipefail
: "${BUILD_DIR:?}"
tmp=$(mktemp -d)
xvfb_pid=
wm_pid=
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$tmp/display" ] && break
  sleep 0.1
done
[ -s "$tmp/display" ] || { echo "Xvfb did not start" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$tmp/display")"

openbox >"$tmp/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { echo "openbox did not start" >&2; exit 1; }

mkdir -p "$BUILD_DIR/shots-x11"
FRAGEBOGEN_SHOTS="$BUILD_DIR/shots-x11" \
  ctest --test-dir "$BUILD_DIR" -R '^participant_tests_x11$' --output-on-failure --timeout 300
