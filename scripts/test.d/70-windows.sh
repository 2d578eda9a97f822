#!/usr/bin/env bash
# The Windows build: everything cross-built and packed (scripts/build-windows.sh;
# on a machine without the cache this first builds Qt for Windows, about 30
# minutes), the tests under Wine, then the smoke run of the packaged program.
set -euo pipefail
: "${ROOT:?}"
"$ROOT/scripts/build-windows.sh" --all
"$ROOT/scripts/windows/run-tests.sh" "$ROOT/build-windows/build"
"$ROOT/scripts/windows/smoke-run.sh" "$ROOT/build-windows"
