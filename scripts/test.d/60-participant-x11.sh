#!/usr/bin/env bash
# The missing-answer marks and the keyboard rating once more on a real X
# server with a window manager, where activation and focus go through the
# window system, and the rating page read over the desktop's accessibility
# bus as a screen reader reads it. Screenshots of the marked pages land in $BUILD_DIR/shots-x11.
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
export FRAGEBOGEN_SHOTS="$BUILD_DIR/shots-x11" BUILD_DIR
# A session bus of its own, with the accessibility bus started before the
# program, so Qt's bridge finds it at start-up; it ends with the run.
dbus-run-session -- bash -c '
  set -e
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
  ctest --test-dir "$BUILD_DIR" -R "^participant_(tests|atspi)_x11\$" --output-on-failure --timeout 300'
