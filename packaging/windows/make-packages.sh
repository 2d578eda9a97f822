#!/usr/bin/env bash
# Packs a Windows build into OUT_DIR:
#   Fragebogen-<version>-win64.zip    one folder Fragebogen-<version>/ with the
#                                      three programs, every DLL they load that
#                                      Windows does not bring, plugins/ and
#                                      LIESMICH.txt
#   Fragebogen-<version>-Setup.exe    the per-user installer of the same files
# Usage: make-packages.sh BUILD_DIR OUT_DIR
# The version, the study values and where Qt and libjpeg lie are read from
# BUILD_DIR/CMakeCache.txt. Prints the two files' paths.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ $# -eq 2 ] || { echo "usage: make-packages.sh BUILD_DIR OUT_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
triple=x86_64-w64-mingw32
cache=$build/CMakeCache.txt
[ -f "$cache" ] || { echo "make-packages.sh: $build is not a configured build" >&2; exit 1; }

cached() { sed -n "s/^$1:[A-Z]*=//p" "$cache" | head -n1; }
version=$(cached CMAKE_PROJECT_VERSION)
[ -n "$version" ] || version=$(sed -n 's/^project(Fragebogen VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
site=$(cached StudySiteName)
contact=$(cached ContactAddress)
qt=$(cached FRAGEBOGEN_QT_PREFIX)
[ -n "$qt" ] || { echo "make-packages.sh: no FRAGEBOGEN_QT_PREFIX in $cache" >&2; exit 1; }
name=Fragebogen-$version
# Windows' version records have four parts.
version4=$version
while [ "$(tr -cd . <<<"$version4" | wc -c)" -lt 3 ]; do version4=$version4.0; done

# Where the DLLs that are not part of Windows come from: Qt, the prefixes the
# build searched (libjpeg), the MinGW runtime.
search=("$qt/bin")
for p in $(cached FRAGEBOGEN_WIN_PREFIXES | tr ';' ' ') $(cached CMAKE_PREFIX_PATH | tr ';' ' '); do
  search+=("$p/bin" "$p/lib")
done
for lib in $(cached JPEG_LIBRARY_RELEASE) $(cached JPEG_LIBRARY); do
  [ -e "$lib" ] && search+=("$(dirname "$lib")" "$(dirname "$lib")/../bin")
done
search+=("$(dirname "$($triple-g++-posix -print-file-name=libstdc++-6.dll)")" "/usr/$triple/lib")
windows_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

stage=$build/stage
rm -rf "$stage"
dest=$stage/$name
mkdir -p "$dest/plugins/platforms" "$dest/plugins/styles"

for exe in fragebogen fragebogen-check-script fragebogen-export; do
  f=$(find "$build" -path "$stage" -prune -o -name "$exe.exe" -type f -print | head -n1)
  [ -n "$f" ] || { echo "make-packages.sh: $exe.exe not built in $build" >&2; exit 1; }
  cp "$f" "$dest/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$dest/plugins/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$dest/plugins/styles/"
cp "$here/qt.conf" "$dest/"

# Copies the DLLs each binary imports, and theirs in turn, beside the programs;
# a DLL found neither there nor among Windows' own is an error, not a
# program that fails on the participant's machine.
find_dll() {
  local d
  for d in "${search[@]}"; do
    [ -d "$d" ] || continue
    find "$d" -maxdepth 1 -iname "$1" -type f -print -quit
  done | head -n1
}
queue=("$dest"/*.exe "$dest"/plugins/*/*.dll)
declare -A seen=()
while [ ${#queue[@]} -gt 0 ]; do
  bin=${queue[0]}
  queue=("${queue[@]:1}")
  for dll in $($triple-objdump -p "$bin" | sed -n 's/^\s*DLL Name: *//p' | tr -d '\r'); do
    key=${dll,,}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    src=$(find_dll "$dll")
    if [ -n "$src" ]; then
      cp "$src" "$dest/"
      queue+=("$dest/$(basename "$src")")
    elif [ ! -e "$windows_dlls/$key" ] && [[ $key != api-ms-win-* ]]; then
      echo "make-packages.sh: $(basename "$bin") needs $dll, found neither in ${search[*]} nor among Windows' DLLs" >&2
      exit 1
    fi
  done
done
find "$dest" \( -name '*.exe' -o -name '*.dll' \) -exec $triple-strip --strip-unneeded {} +

sed -e "s|@VERSION@|$version|g" -e "s|@StudySiteName@|$site|g" -e "s|@ContactAddress@|$contact|g" \
  "$here/LIESMICH.txt.in" | iconv -f UTF-8 -t CP1252 | sed 's/$/\r/' >"$dest/LIESMICH.txt"

zip=$out/$name-win64.zip
rm -f "$zip"
(cd "$stage" && zip -q -r -X -9 "$zip" "$name")

# The uninstaller deletes exactly these files, deepest folders last.
list=$build/uninstall-list.nsh
{
  (cd "$dest" && find . -type f | sed 's|^\./||' | sort) | while read -r f; do
    printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
  done
  (cd "$dest" && find . -mindepth 1 -type d | sed 's|^\./||' | sort -r) | while read -r d; do
    printf 'RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"
  done
} >"$list"
setup=$out/$name-Setup.exe
rm -f "$setup"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version4" -DSTAGE="$dest" -DUNINSTALL_LIST="$list" \
  -DOUTFILE="$setup" -DICON="$root/content/icon/mainicon.ico" -DPUBLISHER="$site" \
  "$here/fragebogen.nsi" >&2
echo "$zip"
echo "$setup"
