#!/usr/bin/env bash
# Runs one Windows program under Wine: the emulator of the cross build
# (CMAKE_CROSSCOMPILING_EMULATOR) and of the scripts.
#   wine-run.sh [--dlls DIR]... PROGRAM.exe [ARGS...]
# Each --dlls folder (Qt's bin, say) is searched for DLLs, after the MinGW
# runtime. A Qt prefix's plugins folder is found beside its bin folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dirs=()
while [ $# -gt 0 ] && [ "$1" = --dlls ]; do
  dirs+=("$2")
  shift 2
done
[ $# -gt 0 ] || { echo "usage: wine-run.sh [--dlls DIR]... PROGRAM [ARGS...]" >&2; exit 2; }
FB_WINE_DLL_DIRS=$(IFS=:; echo "${dirs[*]}")${FB_WINE_DLL_DIRS:+:$FB_WINE_DLL_DIRS}
export FB_WINE_DLL_DIRS
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
for d in "${dirs[@]}"; do
  if [ -d "$d/../plugins/platforms" ] && [ -z "${QT_PLUGIN_PATH:-}" ]; then
    QT_PLUGIN_PATH=$(fb_wine_path "$d/../plugins")
    export QT_PLUGIN_PATH
  fi
done
exec "$FB_WINE" "$@"
