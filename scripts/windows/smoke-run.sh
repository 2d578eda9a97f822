#!/usr/bin/env bash
# Smoke run of the packaged Windows program under Wine, as a participant
# meets it: the zip unpacked into a folder with umlauts and a blank in its
# name, fragebogen.exe started on a virtual X display with a window manager,
# its start-up status check answered by the reference study server on
# loopback, one whole questionnaire filled in and sent, and the answer file in
# %USERPROFILE%\Fragebogen found byte for byte in the server's spool; a
# capturing relay in front of the server checks that the status check and
# the upload are byte for byte the requests the Linux program sends. Then
# the installer is run silently, its Start-menu entry and uninstaller checked,
# and the uninstaller run: the answer files stay.
#   smoke-run.sh [OUT_DIR]      OUT_DIR: where build-windows.sh left its
#                               packages (default build-windows)
# Screenshots of the main window, the first page and the send dialog are kept
# in OUT_DIR/smoke/shots. The program is driven from inside by a Qt plugin
# (tests/windows/driver) that the unchanged program loads on request.
#
# The program asks the study server it was built for (StudyServerHost,
# localhost:8443 by default), so the run takes a network namespace of its own
# in which that port is free, and its own Wine prefix, whose wineserver lives
# in that namespace (Wine opens sockets in the wineserver). FB_PRIVATE_NET=1
# says the caller already provides such a namespace; WINEPREFIX is then used
# as it is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(cd "${1:-$root/build-windows}" && pwd)
build=$out/build

if [ "${FB_PRIVATE_NET:-}" != 1 ]; then
  unshare -n -m true 2>/dev/null || { echo "smoke-run.sh: needs root for network and mount namespaces of its own (unshare -n -m)" >&2; exit 1; }
  exec unshare -n -m --propagation private env FB_PRIVATE_NET=1 FB_NEW_NET=1 WINEPREFIX= "$0" "$out"
fi
[ "${FB_NEW_NET:-}" = 1 ] && ip link set lo up

fail() { echo "smoke-run.sh: $*" >&2; exit 1; }
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" | head -n1; }
zip=$(ls "$out"/Fragebogen-*-win64.zip 2>/dev/null | head -n1)
setup=$(ls "$out"/Fragebogen-*-Setup.exe 2>/dev/null | head -n1)
[ -n "$zip" ] && [ -n "$setup" ] || fail "no zip or installer in $out (run scripts/build-windows.sh)"
name=$(basename "$zip" -win64.zip)
host=$(cached StudyServerHost)
scheme=$(cached StudyServerScheme)
case "$host" in
  localhost:* | 127.0.0.1:*) port=${host##*:} ;;
  localhost | 127.0.0.1) port=80 ;;
  *) fail "the build asks $host; the smoke run needs a build for localhost (-DStudyServerHost=localhost:PORT)" ;;
esac

smoke=$out/smoke
# The server's CA is kept from run to run (Wine takes the system's root
# certificates into a prefix of its own).
rm -rf "$smoke/run" "$smoke/shots" "$smoke/tls-kept"
[ -d "$smoke/server/tls" ] && mv "$smoke/server/tls" "$smoke/tls-kept"
rm -rf "$smoke/server"
mkdir -p "$smoke/run" "$smoke/shots" "$smoke/server"
[ -d "$smoke/tls-kept" ] && mv "$smoke/tls-kept" "$smoke/server/tls"
pids=()
cleanup() {
  set +e
  [ -n "${WINEPREFIX:-}" ] && [ -n "${own_prefix:-}" ] && "$wineserver" -k 2>/dev/null
  "$root/scripts/study-server" stop --state "$smoke/server" >/dev/null 2>&1
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT

# The study server on free ports, and in front of it, on the port the
# program was built for, the capturing relay (over TLS for an https build,
# with the server's certificate): the requests are kept as the program sent
# them. The program trusts the CA it embeds (StudyServerCaFile, the only
# anchor then: the server's CA must be that one) or else Windows' root
# certificates, which Wine takes from the system's bundle, here (in this
# mount namespace only) with the server's CA added.
capture=$smoke/run/capture
mkdir -p "$capture"
cafile=$(cached StudyServerCaFile)
if [ "$scheme" = https ]; then
  tls=$smoke/server/tls
  if [ -n "$cafile" ]; then
    grep -q -- '-----BEGIN CERTIFICATE-----' "$cafile" 2>/dev/null ||
      fail "the build embeds $cafile, which is no CA certificate; the smoke run needs a CA or the system's trust"
    if ! cmp -s "$cafile" "$tls/ca.pem"; then
      # A study server's CA (scripts/study-server tls) with its key: the
      # smoke run's server gets its certificate from it.
      [ -s "$(dirname "$cafile")/ca.key" ] ||
        fail "the build embeds $cafile, whose key the smoke run does not have (build with the CA of scripts/study-server tls)"
      mkdir -p "$tls"
      cp "$cafile" "$tls/ca.pem"
      cp "$(dirname "$cafile")/ca.key" "$tls/ca.key"
      rm -f "$tls/server.pem"
    fi
    ca_mark=any
  fi
  "$root/scripts/study-server" start --port 0 --https-port 0 --state "$smoke/server" >/dev/null
  backend=$(cat "$smoke/server/https-port")
  relay_tls=("$tls/server.pem" "$tls/ca.pem")
  if [ -z "$cafile" ]; then
    bundle=/etc/ssl/certs/ca-certificates.crt
    cat "$bundle" "$tls/ca.pem" >"$smoke/run/ca-bundle.crt"
    mount --bind "$smoke/run/ca-bundle.crt" "$bundle" || fail "could not put the server's CA into $bundle"
    ca_mark=$(sha256sum <"$tls/ca.pem" | cut -c1-16)
  fi
else
  backend=$("$root/scripts/study-server" start --port 0 --https-port off --state "$smoke/server")
  relay_tls=()
  ca_mark=any
fi
# The relay ends when its input closes, at the latest with this script.
exec 4> >(exec python3 "$root/tests/windows/capture_relay.py" "$port" "$backend" "$capture" "${relay_tls[@]}" \
  2>"$smoke/run/relay.log")
pids+=("$!")
for _ in $(seq 100); do [ -e "$capture/ready" ] && break; sleep 0.1; done
[ -e "$capture/ready" ] || fail "the capturing relay did not start: $(cat "$smoke/run/relay.log")"
spool=$("$root/scripts/study-server" spool --state "$smoke/server")

# Wine: 64-bit only, quiet, without menu entries in the real home folder and
# without the Mono and Gecko installers. No WINEPATH: the unpacked program
# must find every DLL it needs in its own folder.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
unset WINEPATH
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$smoke/wineprefix
  own_prefix=1
  # A server left from an earlier run would still open its sockets in that
  # run's namespace.
  "$wineserver" -k 2>/dev/null || true
  # Made anew when the system's bundle it has taken in is not this run's.
  ready=$(cat "$WINEPREFIX/.fragebogen-ready" 2>/dev/null || true)
  if [ -z "$ready" ] || { [ "$ca_mark" != any ] && [ "$ready" != "$ca_mark" ]; }; then
    rm -rf "$WINEPREFIX"
    DISPLAY='' "$wine" wineboot -i >/dev/null 2>&1 || true
    "$wineserver" -w
    [ -f "$WINEPREFIX/system.reg" ] || fail "wineboot -i failed in $WINEPREFIX"
    echo "$ca_mark" >"$WINEPREFIX/.fragebogen-ready"
  fi
  "$wineserver" -p
fi
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
userprofile=$("$wine" cmd.exe /c echo %USERPROFILE% 2>/dev/null | tr -d '\r')
profile=$("$wine" winepath -u "$userprofile" 2>/dev/null | tr -d '\r')
[ -d "$profile" ] || fail "no user profile folder in $WINEPREFIX ($userprofile)"
answers=$profile/Fragebogen
rm -rf "$answers"

# A display with a window manager.
if [ -n "${SMOKE_DISPLAY:-}" ]; then
  Xvfb "$SMOKE_DISPLAY" -screen 0 1280x1024x24 -nolisten tcp 2>"$smoke/run/xvfb.log" &
  pids+=("$!")
  echo "${SMOKE_DISPLAY#:}" >"$smoke/run/display"
else
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$smoke/run/display" 2>"$smoke/run/xvfb.log" &
  pids+=("$!")
fi
for _ in $(seq 100); do [ -s "$smoke/run/display" ] && xdpyinfo -display ":$(head -n1 "$smoke/run/display")" >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=":$(head -n1 "$smoke/run/display")"
export DISPLAY
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start: $(cat "$smoke/run/xvfb.log")"
openbox >"$smoke/run/openbox.log" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done


# The driver, built against the Qt the program ships with.
qt=$(cached FRAGEBOGEN_QT_PREFIX)
cmake -S "$root/tests/windows/driver" -B "$out/driver" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64-toolchain.cmake" -DCMAKE_PREFIX_PATH="$qt" -DFRAGEBOGEN_WIN_PREFIXES="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >"$smoke/run/driver-build.log" 2>&1 &&
  cmake --build "$out/driver" >>"$smoke/run/driver-build.log" 2>&1 || { cat "$smoke/run/driver-build.log" >&2; fail "driver not built"; }

# The participant's copy: unpacked where names have umlauts and blanks.
folder="$smoke/run/Teilnehmer Jürgen Müller"
mkdir -p "$folder"
unzip -q "$zip" -d "$folder"
program_dir=$folder/$name
drv=$smoke/run/driver
mkdir -p "$drv"
shot() { # name, window title
  local id
  id=$(xdotool search --onlyvisible --name "$2" 2>/dev/null | head -n1 || true)
  if [ -n "$id" ]; then import -frame -window "$id" "$smoke/shots/$1.png"; else import -window root "$smoke/shots/$1.png"; fi
}
step() { # name, window title: waits for the driver to ask, photographs, lets it go on
  local end=$((SECONDS + 120))
  while [ $SECONDS -lt $end ]; do
    grep -qx "wait $1" "$drv/driver.log" 2>/dev/null && break
    grep -q '^error' "$drv/driver.log" 2>/dev/null && break
    kill -0 "$exe_pid" 2>/dev/null || break
    sleep 0.2
  done
  grep -qx "wait $1" "$drv/driver.log" 2>/dev/null ||
    fail "the program never reached '$1': $(cat "$drv/driver.log" 2>/dev/null; tail -5 "$smoke/run/program.log")"
  sleep 1 # painted
  shot "$1" "$2"
  touch "$drv/go-$1"
}
# Wine hands QT_* variables to Windows programs only when given as WINEQT_*.
(cd "$program_dir" && WINEQT_PLUGIN_PATH="$(winpath "$out/driver")" WINEQT_QPA_GENERIC_PLUGINS=fbdriver \
  WINEQT_FORCE_STDERR_LOGGING=1 FB_DRIVER_DIR="$(winpath "$drv")" exec "$wine" ./fragebogen.exe >"$smoke/run/program.log" 2>&1) &
exe_pid=$!
pids+=("$exe_pid")
step menu "Fragebogen V1.0"
step page "Seite 1 von"
step send "Daten senden"
# A failed upload leaves the send dialog open: no need to wait then.
for _ in $(seq 600); do
  kill -0 "$exe_pid" 2>/dev/null || break
  grep -q '^box .*keine Verbindung' "$drv/driver.log" && break
  sleep 0.1
done
kill -0 "$exe_pid" 2>/dev/null && fail "the program did not end after sending: $(cat "$drv/driver.log")"
cp "$drv/driver.log" "$smoke/driver.log"
grep '^error' "$drv/driver.log" && fail "driver: see $smoke/driver.log"
grep -qx 'done' "$drv/driver.log" || fail "the questionnaire was not finished: $(tail -5 "$drv/driver.log")"
grep -q '^box Information: Alles in Ordnung. Die Studie ist noch im Gang.' "$drv/driver.log" ||
  fail "the start-up status check did not find the study running: $(grep '^box' "$drv/driver.log")"
pages=$(grep -c '^page ' "$drv/driver.log")
# The frames as Windows draws them: the page window sizeable with a caption
# and no buttons, the send dialog fixed with a caption and no buttons.
# (openbox offers its own buttons on every window Wine maps.)
style() { local v; v=$(sed -n "s/^style $1 \([0-9a-f]*\)$/\1/p" "$drv/driver.log" | head -n1); echo $((16#${v:-0})); }
caption=0xC00000 thick=0x40000 buttons=$((0x80000 | 0x20000 | 0x10000))
page_style=$(style page) send_style=$(style send)
[ $((page_style & caption)) = $((caption)) ] && [ $((page_style & thick)) != 0 ] && [ $((page_style & buttons)) = 0 ] ||
  fail "the page window's style is $(printf %x "$page_style")"
[ $((send_style & caption)) = $((caption)) ] && [ $((send_style & thick)) = 0 ] && [ $((send_style & buttons)) = 0 ] ||
  fail "the send dialog's style is $(printf %x "$send_style")"

# The answer file in the participant's folder, sent, and stored byte for byte.
file=$answers/00000000.bgn
[ -f "$file" ] || fail "no answer file $file"
[ ! -e "$answers/bogen.prt" ] || fail "bogen.prt left behind"
stored=$(ls "$spool")
[ "$(echo "$stored" | wc -l)" = 1 ] && [ -n "$stored" ] || fail "the spool holds '$stored'"
cmp -s "$file" <(cat "$spool/$stored"; printf 'Daten erfolgreich gesendet.\r\n') ||
  fail "the answer file is not the spool's file followed by the sent mark"
LC_ALL=C grep -q $'=J\xFCrgen M\xFCller&' "$file" || fail "the name with umlauts is not in the answer file in Windows-1252"

# The packed export tool reads the answer file, as on a researcher's machine.
exported=$smoke/run/export
(cd "$program_dir" && "$wine" ./fragebogen-export.exe --out "$(winpath "$exported")" "$(winpath "$file")") \
  >"$smoke/run/export.log" 2>&1 || fail "fragebogen-export.exe failed: $(cat "$smoke/run/export.log")"
python3 - "$exported/daten.csv" <<'PY' || fail "the export does not hold the sent questionnaire"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], encoding="utf-8", newline="")))
sys.exit(not (len(rows) == 1 and rows[0]["gesendet"] == "1" and rows[0]["Name"] == "J\u00fcrgen M\u00fcller"))
PY

# The requests as the program sent them: the status check and the upload,
# byte for byte the Linux program's requests.
accept=$'Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n'
accept+=$'Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n'
accept+=$'Content-type: application/x-www-form-urlencoded\r\n'
requests=$(cd "$capture" && ls request-* 2>/dev/null | sort -t- -k2 -n | tr '\n' ' ')
[ "$requests" = "request-1 request-2 " ] || fail "the relay saw the requests '$requests', not the status check and the upload"
printf 'GET /humor/bogenakt.html HTTP/1.0\r\nHost: %s\r\n%s\r\n' "${host%%:*}" "$accept" >"$smoke/run/status-request"
cmp -s "$capture/request-1" "$smoke/run/status-request" ||
  fail "the status check's request differs: $(od -c "$capture/request-1" | head -20)"
{
  printf 'POST /cgi-bin/mailmanager.pl HTTP/1.0\r\nHost: %s\r\n%sContent-Length: %s\r\n\r\n' \
    "${host%%:*}" "$accept" "$(stat -c %s "$spool/$stored")"
  cat "$spool/$stored"
} >"$smoke/run/upload-request"
cmp -s "$capture/request-2" "$smoke/run/upload-request" ||
  fail "the upload's request differs: $(cmp "$capture/request-2" "$smoke/run/upload-request")"
cp "$capture/request-1" "$smoke/status-request"

# The installer, silently, for this user only.
"$wine" "$setup" /S
inst=$profile/AppData/Local/Programs/Fragebogen
menu=$profile/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Fragebogen.lnk
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Fragebogen'
[ -f "$inst/fragebogen.exe" ] && [ -f "$inst/Uninstall.exe" ] && [ -f "$inst/plugins/platforms/qwindows.dll" ] ||
  fail "the installer did not install into $inst"
[ -f "$menu" ] || fail "no Start-menu entry $menu"
"$wine" reg query "$key" /v UninstallString 2>/dev/null | grep -q 'Uninstall.exe' || fail "the uninstaller is not registered"
# The uninstaller copies itself away and returns at once; its copy works on.
cp "$file" "$smoke/run/answer-before-uninstall"
"$wine" "$inst/Uninstall.exe" /S
for _ in $(seq 300); do [ -e "$inst/Uninstall.exe" ] || [ -e "$menu" ] || break; sleep 0.1; done
[ ! -e "$inst" ] && [ ! -e "$menu" ] || fail "the uninstaller left $(ls -R "$inst" "$menu" 2>&1 | head)"
"$wine" reg query "$key" >/dev/null 2>&1 && fail "the uninstaller left its registry entry"
cmp -s "$file" "$smoke/run/answer-before-uninstall" || fail "the uninstaller changed or removed $file"

echo "smoke run: $pages pages filled, $(basename "$file") sent and stored byte for byte, the requests as on Linux; installer and uninstaller fine; screenshots in $smoke/shots"
