#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (the GUI
# tests headless on the offscreen platform), then the engine and network tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then every further test
# stage in scripts/test.d (real display, fuzz replays, package), in name order.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-packages.sh" run test
export QT_QPA_PLATFORM=offscreen
# The GUI and walk-through tests talk to plain-HTTP test servers; HTTPS has its
# own tests in net_tests.
BUILD_DIR=$root/build-test "$root/scripts/build.sh" -DStudyServerScheme=http
(cd "$root/build-test" && ctest --output-on-failure -j 2 --timeout 600 -LE "x11|fuzz|package")
TARGETS="engine_tests net_tests" BUILD_DIR=$root/build-asan BUILD_TYPE=Debug "$root/scripts/build.sh" -DFRAGEBOGEN_SANITIZE=ON -DFRAGEBOGEN_BENCH=OFF
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j 2 --timeout 600 -L "engine|net")
# Each stage gets the root and the offscreen build directory; it fails the run
# by exiting non-zero.
for stage in "$root"/scripts/test.d/*.sh; do
  [ -e "$stage" ] || continue
  echo "== $(basename "$stage")"
  ROOT=$root BUILD_DIR=$root/build-test bash "$stage"
done
