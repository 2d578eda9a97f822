#!/usr/bin/env bash
# Builds the Debian package from the build folder, checks its name, control
# fields and contents, runs lintian (errors fail, warnings are listed), and
# runs the installed programs out of a scratch root.
# usage: check_package.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
root=$1 build=$2 version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

deb=$(BUILD_DIR=$build "$root/scripts/package.sh" 2>"$tmp/package.log") || { cat "$tmp/package.log"; fail "package.sh"; }
[ "$(basename "$deb")" = "fragebogen_${version}_amd64.deb" ] || fail "package named $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = fragebogen ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libjpeg62-turbo libc6 libstdc++6 fonts-liberation; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$tmp/contents"
for f in /usr/bin/fragebogen /usr/bin/fragebogen-check-script \
         /usr/share/applications/fragebogen.desktop \
         /usr/share/icons/hicolor/256x256/apps/fragebogen.png /usr/share/icons/hicolor/32x32/apps/fragebogen.png \
         /usr/share/man/man1/fragebogen.1.gz /usr/share/man/man1/fragebogen-check-script.1.gz \
         /usr/share/doc/fragebogen/copyright /usr/share/doc/fragebogen/changelog.gz \
         /usr/share/doc/fragebogen/README.md; do
  grep -qx "$f" "$tmp/contents" || fail "$f missing from the package"
done
# The exporter and its manual page come together, or not at all.
has_export=$(grep -cx /usr/bin/fragebogen-export "$tmp/contents" || true)
has_export_man=$(grep -cx /usr/share/man/man1/fragebogen-export.1.gz "$tmp/contents" || true)
[ "$has_export" = "$has_export_man" ] || fail "fragebogen-export and its manual page do not come together"
if [ -e "$build/tools/export/fragebogen-export" ] && [ "$has_export" != 1 ]; then
  fail "fragebogen-export is built but not packaged"
fi

lintian --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 || true
if grep -q '^E:' "$tmp/lintian.log"; then
  cat "$tmp/lintian.log"
  fail "lintian reports errors"
fi
grep '^[WI]:' "$tmp/lintian.log" || true

dpkg -x "$deb" "$tmp/root"
mkdir "$tmp/work"
cd "$tmp/work"
export QT_QPA_PLATFORM=offscreen
"$tmp/root/usr/bin/fragebogen" --version >"$tmp/version"
head -1 "$tmp/version" | grep -qx "Fragebogen 1\.0\.0\.21" || { cat "$tmp/version"; fail "fragebogen --version"; }
"$tmp/root/usr/bin/fragebogen-check-script" "$tmp/root/usr/share/doc/fragebogen/examples/bogen.txt" \
  || fail "the installed checker finds faults in the embedded script"
"$tmp/root/usr/bin/fragebogen-check-script" --render "$tmp/preview" >/dev/null 2>&1 || fail "the installed checker's preview"
[ "$(ls "$tmp/preview"/*.png | wc -l)" = 76 ] || fail "the installed preview has not 76 pictures"
[ -z "$(ls -A "$tmp/work")" ] || fail "the installed programs wrote into the working folder"
for page in "$tmp"/root/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings"; fail "man warns on $(basename "$page")"; }
done
echo "package $(basename "$deb") checked: $(wc -l <"$tmp/contents") entries"
