#!/usr/bin/env bash
# The Windows stage: everything cross-built for Windows and packed
# (scripts/build-windows.sh --all; on a machine without the cache this first
# builds Qt for Windows, about 30 minutes on 2 cores, and OpenSSL, about 10),
# the tests under Wine (scripts/windows/run-tests.sh), then the packaged
# program as a participant meets it (scripts/windows/smoke-run.sh). The build
# embeds the CA of the smoke run's study server, as scripts/run.sh does for
# the demo, and lies in a folder of its own: a study build in build-windows
# keeps the trust it was made with. Needs root (namespaces, bind mounts).
set -euo pipefail
root=${ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
out=${WINDOWS_TEST_DIR:-$root/build-windows-test}
step() { # name, command...
  local start=$SECONDS
  echo "-- $1"
  "${@:2}"
  echo "-- $1: $((SECONDS - start)) s"
}
ca=$("$root/scripts/study-server" tls --state "$out/smoke/server")
WINDOWS_OUT_DIR=$out step "build" "$root/scripts/build-windows.sh" --all -DStudyServerCaFile="$ca"
step "tests under Wine" "$root/scripts/windows/run-tests.sh" "$out/build"
step "smoke run" "$root/scripts/windows/smoke-run.sh" "$out"
