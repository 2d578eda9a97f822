# Sourced: the 64-bit Wine that runs the Windows build's programs and tests.
#   WINEARCH=win64, a private WINEPREFIX in the cache outside the tree
#   (initialised once with wineboot -i), WINEDEBUG=-all, and one wineserver
#   kept up (-p) so that each program starts warm (about 20 ms instead of 0.7 s).
# Afterwards: $FB_WINE is the loader, fb_wine_stop ends the server (the
# server also ends by itself FB_WINE_LINGER seconds after its last program).
# Extra DLL folders for WINEPATH: FB_WINE_DLL_DIRS (Unix paths, ':'-separated).
fb_wine_cache=${FRAGEBOGEN_CACHE:-/var/cache/fragebogen}
export WINEARCH=win64
export WINEPREFIX=${FB_WINEPREFIX:-$fb_wine_cache/wine64-$(id -un)}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompt, no desktop menu entries.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
FB_WINE=/usr/lib/wine/wine64
FB_WINESERVER=/usr/lib/wine/wineserver
export FB_WINE FB_WINESERVER

# Unix folder -> Windows path on Wine's Z: drive.
fb_wine_path() {
  local p
  p=$(cd "$1" 2>/dev/null && pwd) || p=$1
  printf 'Z:%s' "${p//\//\\}"
}

fb_wine_stop() {
  "$FB_WINESERVER" -k 2>/dev/null || true
}

fb_wine_setup() {
  mkdir -p "$WINEPREFIX"
  # One initialisation at a time, and only once per prefix.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.fragebogen-ready" ]; then
      echo "Initialising the Wine prefix $WINEPREFIX" >&2
      DISPLAY= "$FB_WINE" wineboot -i >/dev/null 2>&1 || true
      "$FB_WINESERVER" -w
      [ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot -i failed in $WINEPREFIX" >&2; exit 1; }
      touch "$WINEPREFIX/.fragebogen-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
  # The MinGW runtime and any folders the caller names, for every program.
  local dirs=/usr/lib/gcc/x86_64-w64-mingw32/12-posix:/usr/x86_64-w64-mingw32/lib${FB_WINE_DLL_DIRS:+:$FB_WINE_DLL_DIRS}
  local d w=""
  local IFS=:
  for d in $dirs; do
    [ -d "$d" ] && w="$w${w:+;}$(fb_wine_path "$d")"
  done
  export WINEPATH="$w${WINEPATH:+;$WINEPATH}"
  # A server that stays up between the programs of a stage.
  "$FB_WINESERVER" -p"${FB_WINE_LINGER:-600}" 2>/dev/null || true
  # Wine's own services (services.exe, rpcss, ...) start with the first
  # program and live as long as the server; started by a program whose
  # output goes to a pipe (ctest's), they would hold that pipe open, and the
  # reader would wait for them for minutes. Started here, they hold nothing.
  "$FB_WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

fb_wine_setup || return 1 2>/dev/null || exit 1
