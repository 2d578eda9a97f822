#!/usr/bin/env bash
# Builds the Debian package fragebogen_<version>_amd64.deb into
# BUILD_DIR/package (default build: build-package, a release build with
# Debian's hardening flags, without tests and benchmarks). An existing
# BUILD_DIR is reused as it is configured. Prints the package's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-package}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DFRAGEBOGEN_TESTS=OFF -DFRAGEBOGEN_BENCH=OFF \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" "$@" >&2
fi
cmake --build "$build" -j "$(nproc)" >&2
rm -f "$build"/package/fragebogen_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$build"/package/fragebogen_*_amd64.deb
