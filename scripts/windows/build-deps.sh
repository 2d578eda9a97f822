#!/usr/bin/env bash
# Builds, once, the libraries the Windows build needs that Debian does not
# package for MinGW: libjpeg-turbo and OpenSSL 3 (from Debian's own source
# packages) and GoogleTest/GoogleMock (from /usr/src/googletest), all static,
# into a cache outside the tree. Prints the install prefixes on its last line,
# as a CMake list (OpenSSL has a prefix of its own, so that adding it did not
# rebuild the others). The cache
# folder's name carries the versions and a hash of the options and the
# toolchain file, so a change of either builds anew beside the old one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cache=${FRAGEBOGEN_CACHE:-/var/cache/fragebogen}
toolchain=$root/cmake/mingw64-toolchain.cmake
jpeg_version=$(apt-cache showsrc libjpeg-turbo 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -1)
[ -n "$jpeg_version" ] || { "$root/scripts/windows/apt-sources.sh"; jpeg_version=$(apt-cache showsrc libjpeg-turbo | sed -n 's/^Version: //p' | sort -V | tail -1); }
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
# (No CMAKE_INSTALL_LIBDIR: libjpeg-turbo would take a relative one as
# relative to the current directory; for Windows both default to lib.)
common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release)
jpeg_opts=(-DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF)
gtest_opts=(-DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON)
key=$( (printf '%s\n' "$jpeg_version" "$gtest_version" "${common[@]}" "${jpeg_opts[@]}" "${gtest_opts[@]}"; cat "$toolchain") | sha256sum | cut -c1-12)
prefix=$cache/deps-mingw64-$key

# OpenSSL: about 10 minutes on 2 idle cores (the libraries only, no tests).
openssl_version=$(apt-cache showsrc openssl 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -1)
[ -n "$openssl_version" ] || { "$root/scripts/windows/apt-sources.sh"; openssl_version=$(apt-cache showsrc openssl | sed -n 's/^Version: //p' | sort -V | tail -1); }
openssl_opts=(mingw64 --cross-compile-prefix=x86_64-w64-mingw32- no-shared no-tests)
openssl_key=$(printf '%s\n' "$openssl_version" "${openssl_opts[@]}" | sha256sum | cut -c1-12)
openssl_prefix=$cache/openssl-mingw64-$openssl_key
if [ ! -f "$openssl_prefix/.complete" ]; then
  owork=$cache/build-openssl-$openssl_key
  rm -rf "$owork" "$openssl_prefix"
  mkdir -p "$owork"
  olog=$owork/build.log
  echo "Building OpenSSL $openssl_version for Windows into $openssl_prefix" >&2
  ostep() {
    "$@" >>"$olog" 2>&1 || { tail -40 "$olog" >&2; exit 1; }
  }
  # The newest version the indexes name can be gone from a mirror already:
  # the next older one is taken then.
  for v in $(apt-cache showsrc openssl | sed -n 's/^Version: //p' | sort -rV); do
    (cd "$owork" && apt-get source -qq "openssl=$v" >>"$olog" 2>&1) && break
    rm -rf "${owork:?}"/openssl*
  done
  osrc=$(find "$owork" -mindepth 1 -maxdepth 1 -type d -name 'openssl-*' | head -1)
  (cd "$osrc" && ostep ./Configure "${openssl_opts[@]}" --prefix="$openssl_prefix" --libdir=lib \
     && ostep make -j2 build_libs && ostep make install_dev)
  [ -f "$openssl_prefix/lib/libssl.a" ] && [ -f "$openssl_prefix/lib/libcrypto.a" ] \
    || { echo "OpenSSL libraries missing in $openssl_prefix" >&2; exit 1; }
  touch "$openssl_prefix/.complete"
  rm -rf "$owork"
fi

if [ -f "$prefix/.complete" ]; then
  echo "$prefix;$openssl_prefix"
  exit 0
fi
work=$cache/build-deps-$key
rm -rf "$work" "$prefix"
mkdir -p "$work/src"
cd "$work"
log=$work/build.log
echo "Building libjpeg-turbo $jpeg_version and GoogleTest $gtest_version for Windows into $prefix" >&2
step() {
  "$@" >>"$log" 2>&1 || { tail -40 "$log" >&2; exit 1; }
}
(cd "$work/src" && step apt-get source -qq "libjpeg-turbo=$jpeg_version")
jpeg_src=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
step cmake -S "$jpeg_src" -B "$work/jpeg" "${common[@]}" "${jpeg_opts[@]}" -DCMAKE_INSTALL_PREFIX="$prefix"
step cmake --build "$work/jpeg" --parallel 2
step cmake --install "$work/jpeg"
step cmake -S /usr/src/googletest -B "$work/gtest" "${common[@]}" "${gtest_opts[@]}" -DCMAKE_INSTALL_PREFIX="$prefix"
step cmake --build "$work/gtest" --parallel 2
step cmake --install "$work/gtest"
[ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/lib/libgtest.a" ] || { echo "libraries missing in $prefix" >&2; exit 1; }
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix;$openssl_prefix"
