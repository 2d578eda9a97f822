#!/usr/bin/env bash
# Builds Fragebogen for 64-bit Windows and packs it. On a fresh Debian 12
# machine (as root, or with sudo) it needs no other step: it installs the
# cross compiler, NSIS and Wine, builds Qt for Windows once into
# /var/cache/fragebogen (about 30 minutes on 2 cores; later runs reuse it)
# and leaves in build-windows/:
#   Fragebogen-<version>-win64.zip   the programs, their DLLs, plugins/, LIESMICH.txt
#   Fragebogen-<version>-Setup.exe   the per-user installer
# The build itself lies in build-windows/build.
#   build-windows.sh [--all] [CMAKE_ARGS...]
# --all builds every target (the tests too, for scripts/windows/run-tests.sh);
# otherwise only the program, the check script tool and the export tool.
# CMAKE_ARGS go to the configure step, e.g. -DStudyServerHost=umfrage.example.org.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${WINDOWS_OUT_DIR:-$root/build-windows}
build=$out/build
targets=(fragebogen fragebogen-check-script fragebogen-export)
if [ "${1:-}" = --all ]; then
  targets=()
  shift
fi

"$root/scripts/windows/apt-sources.sh"
"$root/scripts/install-packages.sh" run windows
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi
mkdir -p "$out"
# Qt for Windows and libjpeg come from the cache (built there when missing).
"$root/scripts/windows/configure.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DFRAGEBOGEN_BENCH=OFF "$@"
cmake --build "$build" -j "$(nproc)" ${targets[@]:+--target "${targets[@]}"}
rm -f "$out"/Fragebogen-*-win64.zip "$out"/Fragebogen-*-Setup.exe
"$root/packaging/windows/make-packages.sh" "$build" "$out"
