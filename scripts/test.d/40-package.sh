#!/usr/bin/env bash
# The Debian package (built from the offscreen build, linted, installed into a
# scratch root and run) and the page preview opened in headless Chromium.
set -euo pipefail
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -L package
