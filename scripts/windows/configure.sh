#!/usr/bin/env bash
# Configures this project for 64-bit Windows into BUILD_DIR:
#   scripts/windows/configure.sh BUILD_DIR [cmake arguments...]
# Ensures Qt for Windows (build-qt.sh) and the other libraries (build-deps.sh)
# in the cache first; both are built once and reused. The build-time tools
# are built for this machine in a host sub-build (BUILD_DIR/host-tools), and
# the tests run under Wine (wine-run.sh as the cross-compiling emulator).
# FRAGEBOGEN_QT_PREFIX names a finished Qt for Windows instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -ge 1 ] || { echo "usage: configure.sh BUILD_DIR [cmake arguments...]" >&2; exit 2; }
build=$1
shift
cache=${FRAGEBOGEN_CACHE:-/var/cache/fragebogen}

# A Qt build already under way (another run of a script) is waited for, not
# started again beside it: build-qt.sh would otherwise begin it anew.
qt_build_running() {
  local d p
  for d in "$cache"/build-qt-*; do
    [ -d "$d" ] || continue
    for p in /proc/[0-9]*/cwd; do
      case $(readlink "$p" 2>/dev/null) in "$d"|"$d"/*) return 0 ;; esac
    done
  done
  return 1
}

if [ -n "${FRAGEBOGEN_QT_PREFIX:-}" ]; then
  qt=$FRAGEBOGEN_QT_PREFIX
else
  if qt_build_running; then
    echo "Waiting for the Qt for Windows build that is running in $cache" >&2
    while qt_build_running; do sleep 20; done
  fi
  qt=$("$root/scripts/windows/build-qt.sh" | tail -1)
fi
deps=$("$root/scripts/windows/build-deps.sh" | tail -1)
[ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] || { echo "No Qt for Windows in $qt" >&2; exit 1; }

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64-toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFRAGEBOGEN_WIN_PREFIXES="$qt;$deps" \
  -DCMAKE_PREFIX_PATH="$qt;$deps" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DFRAGEBOGEN_QT_PREFIX="$qt" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/windows/wine-run.sh;--dlls;$qt/bin" \
  -DFRAGEBOGEN_BENCH=OFF \
  "${launcher[@]}" "$@"
