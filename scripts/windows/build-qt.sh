#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's own qt6-base source, once, into
# a cache outside the tree. Prints the install prefix on its last line.
# The cache folder's name carries the version and a hash of the options and
# the toolchain file, so a change of either builds anew beside the old one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cache=${FRAGEBOGEN_CACHE:-/var/cache/fragebogen}
toolchain=$root/cmake/mingw64-toolchain.cmake
version=6.4.2
opts=(-release -shared -xplatform win32-g++ -qt-host-path /usr
  -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-glib
  -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz -qt-doubleconversion
  -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent
  -no-feature-xml -no-feature-tabletevent -no-feature-vulkan)
key=$( (printf '%s\n' "$version" "${opts[@]}"; cat "$toolchain") | sha256sum | cut -c1-12)
prefix=$cache/qt-$version-mingw64-$key
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
mkdir -p "$cache/src"
src=$cache/src/qt6-base-$version+dfsg
if [ ! -f "$src/configure" ]; then
  (cd "$cache/src" && apt-get source -qq qt6-base="$version*" >/dev/null)
fi
build=$cache/build-qt-$key
rm -rf "$build" "$prefix"
mkdir -p "$build"
cd "$build"
echo "Building Qt $version for Windows into $prefix (20-30 minutes on 2 cores)" >&2
"$src/configure" -prefix "$prefix" "${opts[@]}" -- \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -G Ninja >"$build/configure.log" 2>&1 || { tail -50 "$build/configure.log" >&2; exit 1; }
cmake --build . --parallel >"$build/build.log" 2>&1 || { tail -50 "$build/build.log" >&2; exit 1; }
cmake --install . >"$build/install.log" 2>&1
touch "$prefix/.complete"
rm -rf "$build"
echo "$prefix"
